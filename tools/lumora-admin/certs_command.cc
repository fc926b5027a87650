// certs: the certificates registered for each section, through the certificate management
// object: list them, register one taken from a signed program or a saved record, delete
// or revoke one (the store tells the user with a notice), check one, save one to a file.
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <map>

#include "admin_command.h"
#include "certificate_record.h"
#include "lumora/values.h"
#include "privileged_objects.h"
#include "result_text.h"
#include "store_names.h"
#include "terminal_text.h"
#include "trust/cert_container.h"
#include "trust/validate_exe.h"

namespace lumora::admin {
namespace {

struct Row {
  std::string section;
  LONG usageClass;
  LONG number;
  std::vector<BYTE> record;
  RecordDescription description;
};

std::vector<BYTE> BytesOf(BSTR text) {
  const auto* bytes = reinterpret_cast<const BYTE*>(text);
  return std::vector<BYTE>(bytes, bytes + SysStringByteLen(text));
}

Bstr RecordText(const std::vector<BYTE>& record) {
  return Bstr::FromBytes(std::string_view(reinterpret_cast<const char*>(record.data()), record.size()));
}

bool IsCommon(const std::string& section) {
  if (section.size() < 6) return false;
  static constexpr char kCommon[] = "common";
  for (size_t i = 0; i < 6; ++i) {
    const char c = section[i] >= 'A' && section[i] <= 'Z' ? static_cast<char>(section[i] - 'A' + 'a') : section[i];
    if (c != kCommon[i]) return false;
  }
  return true;
}

// The rows of one section and class: numbered from 0 without gaps, so asked for by
// number until there is none.
HRESULT ReadRows(IPRProfileCertificateManagement* management, const std::string& section, LONG usageClass,
                 std::vector<Row>* rows) {
  Bstr name = Bstr::FromUtf8(section);
  for (LONG number = 0;; ++number) {
    Bstr record;
    const HRESULT hr = management->GetCertificate(name.get(), usageClass, number, record.put());
    if (hr == eErrorKeyNotFound) return S_OK;
    if (FAILED(hr)) return hr;
    Row row{section, usageClass, number, BytesOf(record.get()), {}};
    row.description = DescribeCertificateRecord(row.record);
    rows->push_back(std::move(row));
  }
}

std::string Validity(const RecordDescription& description) {
  if (FAILED(description.result)) return {};
  return description.notAfter + (description.validNow ? ""
                                                      : " (not valid now: valid from " + description.notBefore +
                                                            " to " + description.notAfter + ")");
}

void PrintRow(const Row& row) {
  std::printf("%s class %ld, number %ld: %s\n", Quoted(row.section).c_str(), static_cast<long>(row.usageClass),
              static_cast<long>(row.number),
              FAILED(row.description.result)
                  ? ("the record does not decode (" + Explained(row.description.result) + ")").c_str()
                  : Printable(row.description.company).c_str());
  if (SUCCEEDED(row.description.result)) {
    std::printf("  subject: %s\n  expires: %s\n", Printable(row.description.subject).c_str(),
                Validity(row.description).c_str());
  }
}

JsonValue RowJson(const Row& row) {
  JsonValue entry = JsonValue::Object();
  entry.Add("section", JsonValue::String(row.section));
  entry.Add("class", JsonValue::Integer(row.usageClass));
  entry.Add("number", JsonValue::Integer(row.number));
  entry.Add("company", JsonValue::String(row.description.company));
  entry.Add("subject", JsonValue::String(row.description.subject));
  entry.Add("validFrom", JsonValue::String(row.description.notBefore));
  entry.Add("expires", JsonValue::String(row.description.notAfter));
  entry.Add("validNow", JsonValue::Integer(row.description.validNow ? 1 : 0));
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(row.description.result));
  entry.Add("decoded", JsonValue::String(SUCCEEDED(row.description.result) ? "" : code));
  return entry;
}

// The class the command line names: 0 (the default) or 1; -1 for anything else.
LONG ClassOf(const Options& options) {
  const std::string text = options.Value("--class", "0");
  return text == "0" ? 0 : text == "1" ? 1 : -1;
}

int List(const Options& options, IPRProfileCertificateManagement* management) {
  std::vector<std::string> sections;
  if (options.arguments.size() == 2) {
    sections.push_back(options.arguments[1]);
  } else {
    // The certificate registry cannot list its sections: their names are read from the
    // store, each once however it is spelt (the store compares them without regard to case).
    StoreNames names;
    std::string problem;
    HRESULT hr = S_OK;
    if (!names.Open(&problem, &hr)) return FailCall(problem, hr);
    std::map<std::string, std::string> byFolded;
    try {
      for (const std::string& name : names.SectionsOf("Certs")) {
        std::string folded = name;
        for (char& c : folded) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        byFolded.emplace(folded, name);
      }
    } catch (const CDaoException& e) {
      return FailCall(std::string("cannot read the section names: ") + e.what(), e.m_scode);
    }
    for (const auto& [folded, name] : byFolded) sections.push_back(name);
  }
  std::vector<LONG> classes = {0, 1};
  if (options.Has("--class")) classes = {ClassOf(options)};
  std::vector<Row> rows;
  for (const std::string& section : sections) {
    for (const LONG usageClass : classes) {
      const HRESULT hr = ReadRows(management, section, usageClass, &rows);
      if (FAILED(hr)) return FailCall("cannot read the certificates of " + Quoted(section), hr);
    }
  }
  if (options.Has("--json")) {
    JsonValue list = JsonValue::Array();
    for (const Row& row : rows) list.Append(RowJson(row));
    std::printf("%s\n", WriteSafeJson(list).c_str());
    return kExitOk;
  }
  for (const Row& row : rows) PrintRow(row);
  if (rows.empty()) {
    std::printf(
        options.arguments.size() == 2 ? "no certificate is registered for %s\n" : "no certificate is registered%s\n",
        options.arguments.size() == 2 ? Quoted(sections[0]).c_str() : "");
  }
  return kExitOk;
}

// The record of FILE, and what it says; prints why when it cannot be had.
int ReadRecordFile(const std::string& path, std::vector<BYTE>* record, RecordDescription* description,
                   std::string* kind) {
  std::string error;
  HRESULT hr = S_OK;
  if (!ReadCertificateRecord(path, record, kind, &error, &hr))
    return Fail(Printable(error) + " (" + Explained(hr) + ")");
  *description = DescribeCertificateRecord(*record);
  return kExitOk;
}

std::string Who(const RecordDescription& description) {
  return SUCCEEDED(description.result)
             ? Printable(description.company)
             : "a certificate whose record does not decode (" + Explained(description.result) + ")";
}

int Add(IPRProfileCertificateManagement* management, const std::string& section, LONG usageClass,
        const std::string& file) {
  std::vector<BYTE> record;
  RecordDescription description;
  std::string kind;
  if (const int failed = ReadRecordFile(file, &record, &description, &kind); failed != kExitOk) return failed;
  if (usageClass == 0 && FAILED(description.result)) {
    return FailCall("the certificate record of " + Printable(file) + " does not decode", description.result);
  }
  Bstr name = Bstr::FromUtf8(section);
  Bstr text = RecordText(record);
  // Registered already: the registry would add nothing (for class 1, any class-1 row of
  // the section counts).
  if (management->CheckCertificate(name.get(), usageClass, VARIANT_FALSE, text.get()) == S_OK) {
    std::printf("already registered for %s (class %ld): %s; nothing added\n", Quoted(section).c_str(),
                static_cast<long>(usageClass),
                usageClass == 1 ? "the section has its class-1 certificate" : Who(description).c_str());
    return kExitOk;
  }
  std::vector<Row> before;
  HRESULT hr = ReadRows(management, section, usageClass, &before);
  if (SUCCEEDED(hr)) hr = management->AddCertificate(name.get(), usageClass, text.get());
  if (FAILED(hr)) return FailCall("cannot register the certificate of " + Printable(file), hr);
  std::printf("registered for %s (class %ld, number %zu): %s, from the %s %s\n", Quoted(section).c_str(),
              static_cast<long>(usageClass), before.size(), Who(description).c_str(), kind.c_str(),
              Printable(file).c_str());
  if (SUCCEEDED(description.result)) {
    std::printf("  subject: %s\n  expires: %s\n", Printable(description.subject).c_str(),
                Validity(description).c_str());
    if (!description.validNow) {
      std::printf("warning: the certificate is not valid now: programs signed with it are refused\n");
    }
  }
  if (kind != "saved certificate record") {
    ValidateExe program(file);
    if (!program.Validate()) {
      std::printf("warning: %s does not pass the signature check here (%s)\n", Printable(file).c_str(),
                  Explained(program.LastResult()).c_str());
    }
  }
  if (section == "/") {
    std::printf("note: the root section: programs signed with this certificate may administer the store\n");
  } else if (IsCommon(section)) {
    std::printf(
        "note: common sections are opened by the certificates of the root section \"/\"; a row for %s opens "
        "nothing\n",
        Quoted(section).c_str());
  }
  return kExitOk;
}

int Remove(IPRProfileCertificateManagement* management, const std::string& section, LONG usageClass,
           const std::string& file, bool revoke) {
  std::vector<BYTE> record;
  RecordDescription description;
  std::string kind;
  if (const int failed = ReadRecordFile(file, &record, &description, &kind); failed != kExitOk) return failed;
  Bstr name = Bstr::FromUtf8(section);
  Bstr text = RecordText(record);
  const char* verb = revoke ? "revoked" : "deleted";
  HRESULT hr = management->CheckCertificate(name.get(), usageClass, VARIANT_FALSE, text.get());
  if (hr == E_FAIL) {
    return Fail("the certificate of " + Who(description) + " is not registered for " + Quoted(section) + " (class " +
                std::to_string(usageClass) + "): nothing " + verb);
  }
  if (FAILED(hr)) return FailCall("cannot look at the certificates of " + Quoted(section), hr);
  std::vector<Row> before;
  if (FAILED(hr = ReadRows(management, section, usageClass, &before))) {
    return FailCall("cannot read the certificates of " + Quoted(section), hr);
  }
  // The row the registry takes: class 0, the first with the same signer; class 1, the
  // section's class-1 row.
  size_t number = 0;
  if (usageClass == 0) {
    while (number < before.size() && !SameSigner(before[number].record, record)) ++number;
  }
  hr = revoke ? management->RevokeCertificate(name.get(), usageClass, text.get())
              : management->DeleteCertificate(name.get(), usageClass, text.get());
  if (FAILED(hr)) return FailCall(std::string("cannot ") + (revoke ? "revoke" : "delete") + " the certificate", hr);
  std::printf("%s for %s (class %ld, number %zu): %s\n", verb, Quoted(section).c_str(), static_cast<long>(usageClass),
              number, number < before.size() ? Who(before[number].description).c_str() : Who(description).c_str());
  if (number + 1 < before.size()) {
    std::printf("  the row numbered %zu is now numbered %zu\n", before.size() - 1, number);
  }
  std::printf("  the user is told with a notice ('lumora-admin notices')\n");
  return kExitOk;
}

int Check(const Options& options, IPRProfileCertificateManagement* management, const std::string& section,
          LONG usageClass, const std::string& file) {
  std::vector<BYTE> record;
  RecordDescription description;
  std::string kind;
  if (const int failed = ReadRecordFile(file, &record, &description, &kind); failed != kExitOk) return failed;
  Bstr name = Bstr::FromUtf8(section);
  Bstr text = RecordText(record);
  const std::string where = Quoted(section) + " (class " + std::to_string(usageClass) + ")";
  HRESULT hr = management->CheckCertificate(name.get(), usageClass, VARIANT_FALSE, text.get());
  if (hr == E_FAIL) return Fail("not registered for " + where + ": " + Who(description));
  if (FAILED(hr)) return FailCall("cannot check the certificate", hr);
  if (!options.Has("--time")) {
    std::printf("registered for %s: %s\n", where.c_str(), Who(description).c_str());
    return kExitOk;
  }
  hr = management->CheckCertificate(name.get(), usageClass, VARIANT_TRUE, text.get());
  if (hr == S_OK) {
    std::printf("registered for %s and valid now: %s, until %s\n", where.c_str(), Who(description).c_str(),
                description.notAfter.c_str());
    return kExitOk;
  }
  if (hr == E_FAIL) {
    return Fail("registered for " + where + ", but not valid now: " + Who(description) + ", valid from " +
                description.notBefore + " to " + description.notAfter);
  }
  return FailCall("cannot check the certificate's validity", hr);
}

int Save(IPRProfileCertificateManagement* management, const std::string& section, LONG usageClass,
         const std::string& numberText, const std::string& file) {
  LONG number = 0;
  const bool digits =
      !numberText.empty() && numberText.size() <= 9 && numberText.find_first_not_of("0123456789") == std::string::npos;
  if (!digits) return UsageMistake("certs", "the row number '" + Printable(numberText) + "' is not a number");
  number = static_cast<LONG>(std::stol(numberText));
  Bstr name = Bstr::FromUtf8(section);
  Bstr record;
  const HRESULT hr = management->GetCertificate(name.get(), usageClass, number, record.put());
  if (hr == eErrorKeyNotFound) {
    return Fail("no certificate numbered " + numberText + " is registered for " + Quoted(section) + " (class " +
                std::to_string(usageClass) + ")");
  }
  if (FAILED(hr)) return FailCall("cannot read the certificate", hr);
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(record.get()), SysStringByteLen(record.get()));
  out.close();
  if (!out) return Fail("cannot write " + Printable(file));
  const RecordDescription description = DescribeCertificateRecord(BytesOf(record.get()));
  std::printf("saved to %s: the certificate record of %s\n", Printable(file).c_str(), Who(description).c_str());
  return kExitOk;
}

int Certs(const Options& options) {
  const std::vector<std::string>& words = options.arguments;
  const std::string& action = words[0];
  const std::map<std::string, size_t> kWords = {{"add", 3},   {"delete", 3}, {"revoke", 3},
                                                {"check", 3}, {"save", 4},   {"list", 0}};
  const auto known = kWords.find(action);
  if (known == kWords.end()) {
    return UsageMistake("certs",
                        "unknown certs action '" + Printable(action) + "' (list, add, delete, revoke, check or save)");
  }
  if (action == "list" ? words.size() > 2 : words.size() != known->second) {
    return UsageMistake("certs", "wrong number of arguments for certs " + action);
  }
  if (ClassOf(options) < 0) return UsageMistake("certs", "--class takes 0 or 1");
  if (options.Has("--time") && action != "check") return UsageMistake("certs", "--time belongs to certs check");
  if (options.Has("--json") && action != "list") return UsageMistake("certs", "--json belongs to certs list");
  if (words.size() > 1 && words[1].empty()) return UsageMistake("certs", "the section name is empty");

  if (const int failed = RequireInstallation(options); failed != kExitOk) return failed;
  ComPtr<IPRProfileCertificateManagement> management;
  if (const int failed = OpenCertificateManagement(&management); failed != kExitOk) return failed;
  const LONG usageClass = ClassOf(options);
  if (action == "list") return List(options, management.get());
  if (action == "add") return Add(management.get(), words[1], usageClass, words[2]);
  if (action == "delete" || action == "revoke") {
    return Remove(management.get(), words[1], usageClass, words[2], action == "revoke");
  }
  if (action == "check") return Check(options, management.get(), words[1], usageClass, words[2]);
  return Save(management.get(), words[1], usageClass, words[2], words[3]);
}

constexpr OptionSpec kOptions[] = {
    {"--class", "0|1", "the usage class: 0 (the default) opens the section, 1 is kept for other uses"},
    {"--time", nullptr, "check: also require the certificate to be valid now"},
    {"--json", nullptr, "list: print the rows as one JSON array"},
};

}  // namespace

const Command kCertsCommand = {
    "certs",
    "list, register, delete, revoke, check or save registered certificates",
    "The signing certificates registered for each section. A company's programs may use a section when\n"
    "the certificate they are signed with is registered for it in class 0; rows of a section and\n"
    "class are numbered from 0 without gaps. FILE is a signed program (PE image, cabinet or ELF\n"
    "module) whose certificate record is taken, or a record saved with 'certs save'.\n"
    "  list [SECTION]            each row: section, class, number, company, subject and expiry (every\n"
    "                            section's, whose names are read from the store, or SECTION's)\n"
    "  add SECTION FILE          registers FILE's certificate for SECTION\n"
    "  delete SECTION FILE       removes it; the last row of the class takes its number, and the user\n"
    "  revoke SECTION FILE       is told with a notice (which names it revoked, for revoke)\n"
    "  check SECTION FILE        whether it is registered (with --time: and valid now); exit 1 if not\n"
    "  save SECTION NUMBER FILE  writes the record of row NUMBER to FILE",
    kOptions,
    &Certs,
    "list [SECTION] | add|delete|revoke|check SECTION FILE | save SECTION NUMBER FILE",
    1,
    4,
};

}  // namespace lumora::admin
