// CDaoException: how the database layer reports every failure. m_scode is 0x800A0000
// plus the engine error number of the fault; the exception is a framework exception, so
// a public method's error boundary returns m_scode.
#ifndef LUMORA_PLATFORM_DATABASE_DAO_EXCEPTION_H_
#define LUMORA_PLATFORM_DATABASE_DAO_EXCEPTION_H_

#include <string>

#include "lumora/error.h"

// Engine error numbers of the faults the layer reports.
inline constexpr int kJetUnexpected = 3000;
inline constexpr int kJetUpdateWithoutEdit = 3020;
inline constexpr int kJetNoCurrentRecord = 3021;
inline constexpr int kJetFileNotFound = 3024;
inline constexpr int kJetReadOnly = 3027;
inline constexpr int kJetBadPassword = 3031;
inline constexpr int kJetFileInUse = 3045;
inline constexpr int kJetNotADatabase = 3049;
inline constexpr int kJetFilterSyntax = 3075;
inline constexpr int kJetLockedByOtherUser = 3260;
inline constexpr int kJetObjectClosed = 3420;
inline constexpr int kJetTypeMismatch = 3464;

class CDaoException : public lumora::HResultException {
 public:
  CDaoException(int jetError, std::string description)
      : HResultException(ScodeOf(jetError)), m_scode(ScodeOf(jetError)), m_description(std::move(description)) {}

  static constexpr SCODE ScodeOf(int jetError) {
    return static_cast<SCODE>(0x800A0000u + static_cast<uint32_t>(jetError));
  }
  int JetError() const { return static_cast<int>(static_cast<uint32_t>(m_scode) - 0x800A0000u); }
  const char* what() const noexcept override { return m_description.c_str(); }

  SCODE m_scode;
  std::string m_description;
};

[[noreturn]] inline void AfxThrowDaoException(int jetError, std::string description) {
  throw CDaoException(jetError, std::move(description));
}

#endif  // LUMORA_PLATFORM_DATABASE_DAO_EXCEPTION_H_
