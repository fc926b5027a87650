// The component's string table. Texts are fixed in the component; any thread.
#ifndef LUMORA_COMMON_RESOURCES_H_
#define LUMORA_COMMON_RESOURCES_H_

#include <string>

#include "lumora/automation.h"

namespace lumora {

inline constexpr UINT IDS_FIELD_NAME = 101;
inline constexpr UINT IDS_VALUE = 102;
inline constexpr UINT IDS_SHARE_STATUS = 103;
inline constexpr UINT IDS_SHARED = 104;
inline constexpr UINT IDS_PRIVATE = 105;
inline constexpr UINT IDS_YES = 106;
inline constexpr UINT IDS_NO = 107;
inline constexpr UINT IDS_MULTIPLE_VALUES = 108;
inline constexpr UINT IDS_EXPLANATION = 109;
inline constexpr UINT IDS_EXPLANATION_TAIL = 110;
inline constexpr UINT IDS_RELATIONSHIP_SETTINGS = 111;
inline constexpr UINT IDS_UNABLE_TO_DETERMINE_TRUST = 112;
inline constexpr UINT IDS_CERTIFICATE_DELETED = 113;
inline constexpr UINT IDS_CERTIFICATE_REVOKED = 114;
inline constexpr UINT IDS_UNKNOWN_COMPANY = 115;

// The text of string `id`, or the empty text for an id the table does not hold.
std::string LoadResourceString(UINT id);

}  // namespace lumora

#endif  // LUMORA_COMMON_RESOURCES_H_
