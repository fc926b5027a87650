// "This call throws this code": one assertion for the failures the component raises as
// framework exceptions (a database exception's code is its m_scode). Header only.
//
//   EXPECT_TRUE(ThrowsCode([&] { ProtectValue(tooLong); }, E_INVALIDARG)) << "1007 characters";
#ifndef LUMORA_TESTS_SUPPORT_THROWS_CODE_H_
#define LUMORA_TESTS_SUPPORT_THROWS_CODE_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <exception>
#include <ios>
#include <sstream>
#include <typeinfo>

#include "lumora/error.h"

namespace lumora::testing {

// Success when `call` throws an HResultException (or a class derived from it) whose code
// is `expected`. A call that returns, a different code or any other exception fails, and
// the message says which.
template <class Call>
::testing::AssertionResult ThrowsCode(Call&& call, HRESULT expected) {
  const auto hex = [](HRESULT code) {
    std::ostringstream text;
    text << "0x" << std::hex << std::uppercase << static_cast<uint32_t>(code);
    return text.str();
  };
  try {
    call();
  } catch (const HResultException& e) {
    if (e.code() == expected) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "threw " << hex(e.code()) << " (" << e.what() << "), expected "
                                         << hex(expected);
  } catch (const std::exception& e) {
    return ::testing::AssertionFailure() << "threw " << typeid(e).name() << " (" << e.what() << "), expected "
                                         << hex(expected);
  } catch (...) {
    return ::testing::AssertionFailure() << "threw something that is no exception class, expected " << hex(expected);
  }
  return ::testing::AssertionFailure() << "returned without throwing, expected " << hex(expected);
}

}  // namespace lumora::testing

#endif  // LUMORA_TESTS_SUPPORT_THROWS_CODE_H_
