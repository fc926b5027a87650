// WriteConsentRow: one queued change as the write consent dialog sees it. The dialog sits
// below the session that owns the write queue, so it reaches the queued items only
// through this interface, which the items implement. The rows stay owned by the queue;
// the dialog reads them and changes their display privacy. Used on the caller's thread.
#ifndef LUMORA_CONSENT_WRITE_CONSENT_ROW_H_
#define LUMORA_CONSENT_WRITE_CONSENT_ROW_H_

#include <string>

#include "lumora/automation.h"
#include "store/key_set.h"

namespace lumora {

class WriteConsentRow {
 public:
  // Whether the dialog lists changes of this exact kind at all: modifications, creations
  // with a value and link creations. Deletions, link switches, privacy changes and
  // creations without a value are executed without being shown.
  virtual bool ListedInWriteDialog() const = 0;
  // Prepares the display record from `keys`, an open set over the Main table: 0 when
  // there is a record to show, -1 when the variable is not found, -2 when there is
  // nothing to show.
  virtual LONG PrepareDisplayInfo(CKeySet& keys) = 0;
  virtual std::string GetDisplayFieldName() const = 0;
  virtual std::string GetDisplayValue() const = 0;
  // "Shared" when the display privacy is ePrivacyShared, else "Private".
  virtual std::string GetDisplayShareStatus() const = 0;
  virtual void SetDisplayPrivacy(LONG privacy) = 0;
  // The fully qualified uki the change acts on (section.key[arrayKey]).
  virtual std::string GetUki() const = 0;

 protected:
  ~WriteConsentRow() = default;
};

}  // namespace lumora

#endif  // LUMORA_CONSENT_WRITE_CONSENT_ROW_H_
