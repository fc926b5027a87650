// The consent decision point. The component shows nothing itself: a consent dialog's
// content (caption, texts with the company name filled in, columns, rows) is handed to a
// presenter, which shows it to the user in some way and answers. Which presenter answers
// is machine configuration, never the calling program's choice. A write dialog also lets
// the presenter drive the dialog's own logic (the share-status buttons) before it
// answers. Presenters are used on the calling thread, one dialog at a time.
#ifndef LUMORA_PLATFORM_UI_CONSENT_PRESENTER_H_
#define LUMORA_PLATFORM_UI_CONSENT_PRESENTER_H_

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// The results of a modal dialog: OK (Allow, or nothing to ask) and cancel (Deny, the
// close box, Escape).
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

namespace lumora {

enum class ConsentKind { kRead, kWrite };

// The user's answer. The close box and Escape answer kClose, which counts as Deny.
enum class ConsentAnswer { kAllow, kDeny, kClose };

struct ConsentColumn {
  std::string header;
  int width;  // pixels
};

// What a consent dialog shows, exactly as the dialog's own logic made it.
struct ConsentDialogModel {
  ConsentKind kind = ConsentKind::kRead;
  std::string caption;
  // Control identifier -> text, "$(CompanyName)" replaced, in the dialog's control order.
  std::vector<std::pair<int, std::string>> texts;
  std::vector<ConsentColumn> columns;
  // Each row's cell texts as displayed, in list order.
  std::vector<std::vector<std::string>> rows;
  // The explanation dialog's caption and text ("What is Lumora?").
  std::string explanationCaption;
  std::string explanation;
  // Write dialogs: the share-status column, whether each row's status can be switched
  // (array elements cannot), and the column's two texts, so that a presenter that shows
  // the buttons acting live shows exactly what the dialog's own logic will record.
  int shareColumn = -1;
  std::vector<bool> switchable;
  std::string sharedText;
  std::string privateText;
  // The calling company and the section it was granted, for the disclosure ledger; the
  // texts above already name the company.
  std::string company;
  std::string section;
};

// The write dialog's logic a presenter drives: the two share-status buttons act on the
// rows selected (indexes in list order); rows of array elements are left as they are.
class ConsentDialogActions {
 public:
  virtual ~ConsentDialogActions() = default;
  // "Set to Shared" (shared true) or "Set to Private" on the selected rows.
  virtual void PressShareButton(const std::vector<size_t>& selectedRows, bool shared) = 0;
  // The rows' cell texts as they are now (the share status column follows the buttons).
  virtual std::vector<std::vector<std::string>> CurrentRows() const = 0;
};

class ConsentPresenter {
 public:
  virtual ~ConsentPresenter() = default;
  // Shows the dialog and returns the answer; `actions` is null for a read dialog. A
  // presenter that cannot reach the user answers kDeny.
  virtual ConsentAnswer Present(const ConsentDialogModel& model, ConsentDialogActions* actions) = 0;
};

}  // namespace lumora

#endif  // LUMORA_PLATFORM_UI_CONSENT_PRESENTER_H_
