// The component's use of the notification service: notices for the user and records of
// privacy changes. Each call creates the service, makes its one call and releases it;
// the service's answers are not looked at. Any thread.
#ifndef LUMORA_COMMON_NOTIFICATION_CLIENT_H_
#define LUMORA_COMMON_NOTIFICATION_CLIENT_H_

#include <string_view>

#include "lumora/automation.h"

namespace lumora {

// Hands a notice (title and text) to the service. The result is that of creating the
// service: a caller that must know whether the user can be told looks at it.
HRESULT PostNotice(std::string_view title, std::string_view text);
// Records that the variable shown as `fieldName` was made shared (change 1) or private
// (change 2) by a requester (2 all-sections object, 1 ordinary client, 0 privileged object).
HRESULT RecordProfileChange(std::string_view fieldName, LONG change, LONG requester);

}  // namespace lumora

#endif  // LUMORA_COMMON_NOTIFICATION_CLIENT_H_
