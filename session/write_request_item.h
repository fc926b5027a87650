// PRWriteRequestItem: one queued change of the profile, and its display record for the
// write consent dialog. The write queue of a profile object owns its items; the dialog
// may prepare a display record and change its privacy; the batch executes each item
// once inside its transaction. Used on the profile object's thread.
#ifndef LUMORA_SESSION_WRITE_REQUEST_ITEM_H_
#define LUMORA_SESSION_WRITE_REQUEST_ITEM_H_

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "consent/write_consent_row.h"
#include "lumora/profile.h"
#include "store/key_set.h"

namespace lumora {

// What the write dialog shows for one change; the user may change its privacy, and the
// change then applies it.
struct PRDisplayWriteItem {
  std::string fieldName;
  std::string displayValue;
  LONG privacy = ePrivacyPrivate;
};

class PRWriteRequestItem : public WriteConsentRow {
 public:
  // `requesterKind` is the queueing object's RequesterKind of the uki (0 where the
  // queueing method records none).
  PRWriteRequestItem(std::string uki, LONG requesterKind);
  virtual ~PRWriteRequestItem();
  PRWriteRequestItem(const PRWriteRequestItem&) = delete;
  PRWriteRequestItem& operator=(const PRWriteRequestItem&) = delete;

  // Runs the change on `keys`, an open dynaset over the Main table inside the batch's
  // transaction: S_OK, eWarningValueUnchanged when nothing had to change, or a failure
  // (an exception inside becomes the item's result). Changes made before a failure stay
  // in the transaction.
  virtual HRESULT Execute(CKeySet& keys) = 0;
  // The base form: the variable as it is now, or no record when it does not exist;
  // 0 either way.
  LONG PrepareDisplayInfo(CKeySet& keys) override;
  bool ListedInWriteDialog() const override { return false; }

  std::string GetUki() const override { return m_uki; }
  // The same without a copy: every queued modification is compared with the whole queue.
  const std::string& Uki() const { return m_uki; }
  std::string GetSection() const;
  std::string GetKey() const;
  std::string GetArrayKey() const;
  // section "." key, without the array key.
  std::string GetBaseUki() const;
  bool HasArrayKey() const { return !GetArrayKey().empty(); }

  std::string GetDisplayFieldName() const override;
  std::string GetDisplayValue() const override;
  std::string GetDisplayShareStatus() const override;
  void SetDisplayPrivacy(LONG privacy) override;
  const PRDisplayWriteItem* Display() const { return m_pDisplay.get(); }
  LONG RequesterKindOfItem() const { return m_requesterKind; }

  // Records that the variable on the current row of `keys` was made shared (reason 1)
  // or private (reason 2); reason 0 records nothing. The record is kept with the item and
  // sent by SendPrivacyRecords once the batch is committed, so that the notification
  // service never holds a change the store does not.
  void NotifyPrivacyChange(const CKeySet& keys, LONG reason);
  // Hands the kept records to the notification service (a fresh instance per record;
  // nothing when it cannot be created or when the requester kind records nothing) and
  // forgets them.
  void SendPrivacyRecords() noexcept;

 protected:
  // Sets the current row's Privacy to the display privacy when a display record exists
  // and its privacy differs; the row must be in edit mode. Returns the reason to record
  // (1 shared, 2 private) once the row is updated, or 0 when nothing changed.
  LONG ApplyDisplayPrivacy(CKeySet& keys) const;
  void ReplaceDisplay(std::unique_ptr<PRDisplayWriteItem> display) { m_pDisplay = std::move(display); }
  // Before an element of a section's variable for a common array is written or deleted,
  // the array becomes the section's own: when `keys` stands on this item's variable and
  // it is an array that links to a common variable, the source's rows are copied under
  // the variable's base uki (replacing rows left there from before the link) and the row
  // leaves the link, so that reads see the section's copy and the common array is never
  // touched. Otherwise nothing happens.
  void TakeOverLinkedArray(CKeySet& keys) const;

  std::unique_ptr<PRDisplayWriteItem> m_pDisplay;
  // The bookmark of the variable's row when the display record was made, so that the
  // batch finds it again without a second search of the index.
  std::optional<int64_t> m_preparedRow;
  LONG m_requesterKind = 0;
  std::string m_uki;

 private:
  struct ChangeRecord {
    std::string fieldName;
    LONG change;
    LONG requester;
  };
  std::vector<ChangeRecord> m_changeRecords;
};

// The modify step several items share, on the current row of `keys`: the raw value is
// checked against the row's Type; a link row whose source has no value gives the value
// to its source and stays a link; a link row is otherwise left for its own value, unless
// the source already holds exactly this value. S_OK, eWarningValueUnchanged, the check's
// failure, or eErrorKeyNotFound for a link whose source is gone. Leaves `keys` on the row.
HRESULT SetRawValue(CKeySet& keys, std::string_view raw);

// The share status texts (strings 104 and 105), loaded once per process.
const std::string& SharedText();
const std::string& PrivateText();

}  // namespace lumora

#endif  // LUMORA_SESSION_WRITE_REQUEST_ITEM_H_
