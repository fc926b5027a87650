// sections: every section of the store with the companies registered for it and its
// number of variables. Only the names come from the store itself (no interface lists
// them); the companies and the counts come through the privileged objects.
#include <algorithm>
#include <cstdio>
#include <map>

#include "admin_command.h"
#include "certificate_record.h"
#include "lumora/values.h"
#include "privileged_objects.h"
#include "result_text.h"
#include "store_names.h"
#include "terminal_text.h"

namespace lumora::admin {
namespace {

// The store compares section names without regard to ASCII letter case, so "Acme" and
// "acme" are one section to it: they are listed as one, with every spelling.
std::string Folded(const std::string& name) {
  std::string folded = name;
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

struct Registration {
  LONG usageClass;
  LONG number;
  std::string company;  // empty when the record does not decode
  HRESULT decoded;
};

struct Section {
  std::vector<std::string> spellings;
  std::vector<Registration> registrations;
  LONG variables = 0;
};

// The rows of one section and class, numbered from 0 without gaps: asked for by number
// until there is none.
HRESULT ReadRegistrations(IPRProfileCertificateManagement* management, const std::string& section, LONG usageClass,
                          std::vector<Registration>* registrations) {
  Bstr name = Bstr::FromUtf8(section);
  for (LONG number = 0;; ++number) {
    Bstr record;
    const HRESULT hr = management->GetCertificate(name.get(), usageClass, number, record.put());
    if (hr == eErrorKeyNotFound) return S_OK;
    if (FAILED(hr)) return hr;
    const auto* bytes = reinterpret_cast<const BYTE*>(record.get());
    const RecordDescription description =
        DescribeCertificateRecord(std::vector<BYTE>(bytes, bytes + SysStringByteLen(record.get())));
    registrations->push_back({usageClass, number, description.company, description.result});
  }
}

std::string CompanyText(const Registration& registration) {
  return registration.company.empty() ? "(record does not decode: " + ResultMeaning(registration.decoded) + ")"
                                      : Printable(registration.company);
}

void PrintText(const std::map<std::string, Section>& sections) {
  for (const auto& [folded, section] : sections) {
    std::string line = "\"" + Printable(section.spellings.front()) + "\"";
    for (size_t i = 1; i < section.spellings.size(); ++i)
      line += ", also spelt \"" + Printable(section.spellings[i]) + "\"";
    std::printf("%s: %ld variable%s\n", line.c_str(), static_cast<long>(section.variables),
                section.variables == 1 ? "" : "s");
    for (const Registration& registration : section.registrations) {
      std::printf("  class %ld, number %ld: %s\n", static_cast<long>(registration.usageClass),
                  static_cast<long>(registration.number), CompanyText(registration).c_str());
    }
    if (section.registrations.empty()) {
      std::printf(
          folded.compare(0, 6, "common") == 0
              ? "  no company of its own: common sections are opened by the companies of the root section \"/\"\n"
              : "  no registered company: the first signed program to ask for it claims it\n");
    }
  }
  if (sections.empty()) std::printf("the store holds no sections\n");
}

void PrintJson(const std::map<std::string, Section>& sections) {
  JsonValue list = JsonValue::Array();
  for (const auto& [folded, section] : sections) {
    JsonValue spellings = JsonValue::Array();
    for (const std::string& spelling : section.spellings) spellings.Append(JsonValue::String(spelling));
    JsonValue companies = JsonValue::Array();
    for (const Registration& registration : section.registrations) {
      JsonValue company = JsonValue::Object();
      company.Add("class", JsonValue::Integer(registration.usageClass));
      company.Add("number", JsonValue::Integer(registration.number));
      company.Add("company", JsonValue::String(registration.company));
      companies.Append(std::move(company));
    }
    JsonValue entry = JsonValue::Object();
    entry.Add("section", JsonValue::String(section.spellings.front()));
    entry.Add("spellings", std::move(spellings));
    entry.Add("variables", JsonValue::Integer(section.variables));
    entry.Add("companies", std::move(companies));
    list.Append(std::move(entry));
  }
  std::printf("%s\n", WriteSafeJson(list).c_str());
}

int Sections(const Options& options) {
  if (const int failed = RequireInstallation(options); failed != kExitOk) return failed;
  std::map<std::string, Section> sections;  // by folded name, so listed in name order
  {
    StoreNames names;
    std::string problem;
    HRESULT hr = S_OK;
    if (!names.Open(&problem, &hr)) return FailCall(problem, hr);
    try {
      for (const char* table : {"Main", "Certs"}) {
        for (const std::string& name : names.SectionsOf(table)) {
          std::vector<std::string>& spellings = sections[Folded(name)].spellings;
          if (std::find(spellings.begin(), spellings.end(), name) == spellings.end()) spellings.push_back(name);
        }
      }
    } catch (const CDaoException& e) {
      return FailCall(std::string("cannot read the section names: ") + e.what(), e.m_scode);
    }
  }
  ComPtr<IPRProfileSuperUser> superUser;
  if (const int failed = OpenSuperUser(&superUser); failed != kExitOk) return failed;
  ComPtr<IPRProfileCertificateManagement> management;
  if (const int failed = OpenCertificateManagement(&management); failed != kExitOk) return failed;
  for (auto& [folded, section] : sections) {
    const std::string& name = section.spellings.front();
    const std::string what = "cannot read the section \"" + Printable(name) + "\"";
    Bstr text = Bstr::FromUtf8(name);
    ComPtr<IPRKeyAttrsCollection> variables;
    HRESULT hr = superUser->ExecuteReadAllKeysInSection(text.get(), variables.put());
    if (SUCCEEDED(hr)) hr = variables->get_Count(&section.variables);
    if (FAILED(hr)) return FailCall(what, hr);
    for (const LONG usageClass : {LONG{0}, LONG{1}}) {
      hr = ReadRegistrations(management.get(), name, usageClass, &section.registrations);
      if (FAILED(hr)) return FailCall("cannot read the certificates of the section \"" + Printable(name) + "\"", hr);
    }
  }
  if (options.Has("--json")) {
    PrintJson(sections);
  } else {
    PrintText(sections);
  }
  return kExitOk;
}

constexpr OptionSpec kOptions[] = {
    {"--json", nullptr, "print the sections as one JSON array"},
};

}  // namespace

const Command kSectionsCommand = {
    "sections",
    "every section with its companies and its number of variables",
    "Lists every section of the store: the sections that hold variables and those that have a\n"
    "registered certificate, with the companies registered for each (class 0 opens the section,\n"
    "class 1 is kept for other uses; rows are numbered from 0) and its number of variables.\n"
    "The component offers no way to list section names, so the names alone are read from the store\n"
    "(read-only); the companies and the counts come through the privileged objects, as any\n"
    "administration program sees them. Names that differ only in letter case are one section to\n"
    "the store and are listed once, with each spelling.",
    kOptions,
    &Sections,
};

}  // namespace lumora::admin
