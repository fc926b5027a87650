// The component's string table.
#include "resources.h"

namespace lumora {

std::string LoadResourceString(UINT id) {
  switch (id) {
    case IDS_FIELD_NAME:
      return "Field Name";
    case IDS_VALUE:
      return "Value";
    case IDS_SHARE_STATUS:
      return "Share Status";
    case IDS_SHARED:
      return "Shared";
    case IDS_PRIVATE:
      return "Private";
    case IDS_YES:
      return "Yes";
    case IDS_NO:
      return "No";
    case IDS_MULTIPLE_VALUES:
      return "<Multiple Values>";
    case IDS_EXPLANATION:
      return "Lumora accomplishes this through partnerships with companies that create messages which will alert "
             "you to potential technical problems.  These messages are automatically downloaded to your computer "
             "each time you connect to the internet.  If and when you are about to encounter a situation that is "
             "known to cause problems, you will be notified before the problem occurs and given instructions on "
             "how to avoid it.";
    case IDS_EXPLANATION_TAIL:
      return " ";
    case IDS_RELATIONSHIP_SETTINGS:
      return "Relationship Settings";
    case IDS_UNABLE_TO_DETERMINE_TRUST:
      return "Unable to determine if %0 is trusted.";
    case IDS_CERTIFICATE_DELETED:
      return "Note: A signing certificate from %s has been deleted.";
    case IDS_CERTIFICATE_REVOKED:
      return "Note: A signing certificate from %s has been revoked.";
    case IDS_UNKNOWN_COMPANY:
      return "Unknown Company";
    default:
      return {};
  }
}

}  // namespace lumora
