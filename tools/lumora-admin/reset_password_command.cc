// reset-password: the super user's password reset. The password comes off the database
// and its pieces are forgotten; the next open of the store makes a new one, which this
// command then does itself, so the store is never left without a password. Everything
// protected under the old password is lost, so it asks first.
#include <cstdio>

#include "admin_command.h"
#include "common/settings_client.h"
#include "privileged_objects.h"
#include "result_text.h"

namespace lumora::admin {
namespace {

int ResetPassword(const Options& options) {
  if (const int failed = RequireInstallation(options); failed != kExitOk) return failed;
  std::printf(
      "reset-password takes the password off the store's database and forgets it; the next open of the\n"
      "store makes a new one. Every value kept under the old password can no longer be read: the\n"
      "values of the profile variables, of array elements and of the scratch areas read as empty from\n"
      "then on (the variables themselves, their settings and the registered certificates stay).\n"
      "Programs that use the store must be closed first.\n\n");
  if (!Confirmed(options)) {
    std::printf("Nothing was changed.\n");
    return kExitFailure;
  }
  std::string before;
  HRESULT hr = ReadSetting(kSettingPasswordPiece, &before);
  if (FAILED(hr) && hr != HRESULT_FROM_WIN32(ERROR_NOT_FOUND)) return FailCall("cannot read setting 16", hr);
  {
    ComPtr<IPRProfileSuperUser> superUser;
    if (const int failed = OpenSuperUser(&superUser); failed != kExitOk) return failed;
    hr = superUser->ResetPassword();
    if (FAILED(hr)) {
      FailCall("cannot reset the password", hr);
      std::fprintf(stderr, "lumora-admin: nothing was changed\n");
      return kExitFailure;
    }
    superUser->CloseStore();
  }
  std::printf("reset: the database has no password now, and setting 16 is empty\n");

  // The next open, as any program's: a new profile object opens the store.
  {
    ComPtr<IPRProfile> profile;
    hr = CreateByProgId(u"PRProfile.PRProfile", &profile);
    if (FAILED(hr)) {
      return FailCall(
          "the password was reset, but the store cannot be opened again (the next program to open "
          "it makes the new password)",
          hr);
    }
  }
  std::string after;
  hr = ReadSetting(kSettingPasswordPiece, &after);
  if (FAILED(hr) || after.empty()) {
    return FailCall("the store was opened again, but setting 16 holds no piece of a new password",
                    FAILED(hr) ? hr : E_FAIL);
  }
  if (after == before) return Fail("setting 16 still holds the old piece: no new password was made");
  std::printf("the next open made a new password: setting 16 holds a new piece\n");
  return kExitOk;
}

constexpr OptionSpec kOptions[] = {
    {"--yes", nullptr, "go on without asking for confirmation"},
};

}  // namespace

const Command kResetPasswordCommand = {
    "reset-password",
    "forget the store's password and make a new one",
    "Takes the password off the store's database and forgets its pieces (setting 16 emptied), then\n"
    "opens the store once as any program would, which makes a new password, and shows that setting 16\n"
    "holds a new piece. Every value kept under the old password (variables' values, array elements,\n"
    "scratch values) reads as empty afterwards. Asks for confirmation (type 'yes') unless --yes is\n"
    "given; refuses, changing nothing, while another program has the store open.",
    kOptions,
    &ResetPassword,
};

}  // namespace lumora::admin
