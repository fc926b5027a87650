// DATE arithmetic and formatting. A DATE counts days from 30 December 1899; for dates
// before that day the integer part is negative and the fraction still counts forward
// from midnight. Formatting follows the user's locale, taken from the environment as the
// C library does (LC_ALL, then LC_TIME, then LANG).
#include <langinfo.h>
#include <locale.h>
#include <time.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

#include "lumora/automation.h"
#include "lumora/utf.h"

namespace {

constexpr double kMinDate = -657434.0;    // 1 January 100
constexpr double kMaxDate = 2958466.0;    // 1 January 10000, exclusive
constexpr int64_t kUnixEpochDay = 25569;  // 1 January 1970 as a DATE

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t* y, unsigned* m, unsigned* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = static_cast<int64_t>(yoe) + era * 400 + (*m <= 2);
}

unsigned DaysInMonth(unsigned year, unsigned month) {
  static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0)) return 29;
  return kDays[month - 1];
}

// The user's time locale, or the C locale when the environment names none we have.
// Making a locale reads its files, which cost more than the date it formats: each name
// is looked up once and what it gave (the C locale for a name the machine lacks) is
// kept for the life of the process, never freed (a locale_t is safe to share between
// threads for the _l functions). The lookup is kept per LOCPATH too, so that a host
// that points LOCPATH at its own locales later finds them.
locale_t UserTimeLocale() {
  const char* names[] = {"LC_ALL", "LC_TIME", "LANG"};
  const char* name = "C";
  for (const char* variable : names) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') {
      name = value;
      break;
    }
  }
  const char* path = std::getenv("LOCPATH");
  const std::string key = std::string(name) + '\n' + (path != nullptr ? path : "");
  static std::mutex made;
  static std::map<std::string, locale_t>* locales = new std::map<std::string, locale_t>;
  std::lock_guard<std::mutex> lock(made);
  const auto known = locales->find(key);
  if (known != locales->end()) return known->second;
  locale_t locale = newlocale(LC_TIME_MASK, name, static_cast<locale_t>(nullptr));
  if (locale == static_cast<locale_t>(nullptr)) {
    locale = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(nullptr));
  }
  // A failure to make even the C locale (no memory) is not kept: the next call tries again.
  if (locale != static_cast<locale_t>(nullptr)) locales->emplace(key, locale);
  return locale;
}

// The C locale writes two-digit years; a profile date needs the century.
std::string DateFormatOf(locale_t locale) {
  std::string format = nl_langinfo_l(D_FMT, locale);
  if (format == "%m/%d/%y") format = "%m/%d/%Y";
  return format;
}

std::string TimeFormatOf(locale_t locale) { return nl_langinfo_l(T_FMT, locale); }

struct tm TmFromSystemTime(const SYSTEMTIME& st) {
  struct tm tm {};
  tm.tm_year = st.wYear - 1900;
  tm.tm_mon = st.wMonth - 1;
  tm.tm_mday = st.wDay;
  tm.tm_hour = st.wHour;
  tm.tm_min = st.wMinute;
  tm.tm_sec = st.wSecond;
  tm.tm_wday = st.wDayOfWeek;
  return tm;
}

bool TryParse(const std::string& text, const char* format, locale_t locale, struct tm* out) {
  struct tm tm {};
  tm.tm_mday = 0;
  const char* end = strptime_l(text.c_str(), format, &tm, locale);
  if (end == nullptr) return false;
  while (*end != '\0' && std::isspace(static_cast<unsigned char>(*end))) ++end;
  if (*end != '\0') return false;
  *out = tm;
  return true;
}

}  // namespace

extern "C" {

BOOL SystemTimeToVariantTime(const SYSTEMTIME* st, DATE* pvtime) {
  if (st == nullptr || pvtime == nullptr) return FALSE;
  if (st->wYear < 100 || st->wYear > 9999 || st->wMonth < 1 || st->wMonth > 12 || st->wDay < 1 ||
      st->wDay > DaysInMonth(st->wYear, st->wMonth) || st->wHour > 23 || st->wMinute > 59 || st->wSecond > 59) {
    return FALSE;
  }
  const int64_t days = DaysFromCivil(st->wYear, st->wMonth, st->wDay) + kUnixEpochDay;
  const double fraction = (st->wHour * 3600.0 + st->wMinute * 60.0 + st->wSecond) / 86400.0;
  *pvtime = days < 0 ? static_cast<double>(days) - fraction : static_cast<double>(days) + fraction;
  return TRUE;
}

BOOL VariantTimeToSystemTime(DATE vtime, SYSTEMTIME* st) {
  if (st == nullptr || !(vtime >= kMinDate && vtime < kMaxDate)) return FALSE;
  double whole = std::trunc(vtime);
  int64_t seconds = std::llround(std::fabs(vtime - whole) * 86400.0);
  int64_t day = static_cast<int64_t>(whole);
  if (seconds >= 86400) {
    seconds -= 86400;
    ++day;
  }
  int64_t year = 0;
  unsigned month = 0;
  unsigned dayOfMonth = 0;
  CivilFromDays(day - kUnixEpochDay, &year, &month, &dayOfMonth);
  if (year < 100 || year > 9999) return FALSE;
  st->wYear = static_cast<WORD>(year);
  st->wMonth = static_cast<WORD>(month);
  st->wDay = static_cast<WORD>(dayOfMonth);
  // 30 December 1899 was a Saturday.
  st->wDayOfWeek = static_cast<WORD>(((day % 7) + 7 + 6) % 7);
  st->wHour = static_cast<WORD>(seconds / 3600);
  st->wMinute = static_cast<WORD>(seconds / 60 % 60);
  st->wSecond = static_cast<WORD>(seconds % 60);
  st->wMilliseconds = 0;
  return TRUE;
}

HRESULT VarBstrFromDate(DATE dateIn, LCID /*lcid*/, ULONG dwFlags, BSTR* pbstrOut) {
  if (pbstrOut == nullptr) return E_INVALIDARG;
  *pbstrOut = nullptr;
  SYSTEMTIME st{};
  if (!VariantTimeToSystemTime(dateIn, &st)) return DISP_E_OVERFLOW;
  const bool midnight = st.wHour == 0 && st.wMinute == 0 && st.wSecond == 0;
  const bool dayZero = st.wYear == 1899 && st.wMonth == 12 && st.wDay == 30;
  // Flags decide first; otherwise day 0 shows the time alone and midnight the date alone.
  const bool timeOnly = (dwFlags & VAR_TIMEVALUEONLY) != 0 || ((dwFlags & VAR_DATEVALUEONLY) == 0 && dayZero);
  const bool dateOnly = !timeOnly && ((dwFlags & VAR_DATEVALUEONLY) != 0 || midnight);
  const bool showDate = !timeOnly;
  const bool showTime = !dateOnly;
  locale_t locale = UserTimeLocale();
  if (locale == static_cast<locale_t>(nullptr)) return E_OUTOFMEMORY;
  std::string format;
  if (showDate) format = DateFormatOf(locale);
  if (showTime) format += (showDate ? " " : "") + TimeFormatOf(locale);
  const struct tm tm = TmFromSystemTime(st);
  char buffer[256];
  const size_t length = strftime_l(buffer, sizeof buffer, format.c_str(), &tm, locale);
  const std::u16string text = lumora::Utf8ToUtf16(std::string_view(buffer, length));
  *pbstrOut = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *pbstrOut == nullptr ? E_OUTOFMEMORY : S_OK;
}

// Accepts the forms VarBstrFromDate writes in the user's locale, plus the locale-neutral
// ISO forms "YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS]" and "HH:MM[:SS]". A text with a time
// alone gives a DATE on day 0.
HRESULT VarDateFromStr(const OLECHAR* strIn, LCID /*lcid*/, ULONG /*dwFlags*/, DATE* pdateOut) {
  if (strIn == nullptr || pdateOut == nullptr) return E_INVALIDARG;
  std::u16string_view wide(strIn);
  std::string text = lumora::Utf16ToUtf8(wide);
  size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return DISP_E_TYPEMISMATCH;
  text.erase(0, first);
  locale_t locale = UserTimeLocale();
  if (locale == static_cast<locale_t>(nullptr)) return E_OUTOFMEMORY;
  const std::string dateFormat = DateFormatOf(locale);
  const std::string timeFormat = TimeFormatOf(locale);
  struct Form {
    std::string format;
    bool hasDate;
  };
  const Form forms[] = {
      {"%Y-%m-%d %H:%M:%S", true},
      {"%Y-%m-%dT%H:%M:%S", true},
      {"%Y-%m-%d %H:%M", true},
      {"%Y-%m-%d", true},
      {dateFormat + " " + timeFormat, true},
      {dateFormat, true},
      {timeFormat, false},
      {"%H:%M:%S", false},
      {"%H:%M", false},
  };
  HRESULT result = DISP_E_TYPEMISMATCH;
  for (const Form& form : forms) {
    struct tm tm {};
    if (!TryParse(text, form.format.c_str(), locale, &tm)) continue;
    SYSTEMTIME st{};
    st.wYear = form.hasDate ? static_cast<WORD>(tm.tm_year + 1900) : 1899;
    st.wMonth = form.hasDate ? static_cast<WORD>(tm.tm_mon + 1) : 12;
    st.wDay = form.hasDate ? static_cast<WORD>(tm.tm_mday) : 30;
    st.wHour = static_cast<WORD>(tm.tm_hour);
    st.wMinute = static_cast<WORD>(tm.tm_min);
    st.wSecond = static_cast<WORD>(tm.tm_sec);
    if (SystemTimeToVariantTime(&st, pdateOut)) {
      result = S_OK;
      break;
    }
  }
  return result;
}

}  // extern "C"
