// The error boundary: what each kind of failure becomes in each of its two forms, the
// method names the boundary derives itself, and the trace hook it reports to.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "lumora/error.h"
#include "lumora/profile.h"
#include "platform/database/dao_exception.h"
#include "tests/support/throws_code.h"

namespace lumora {
namespace {

// Collects what reaches the trace hook while a test runs.
class TraceRecorder {
 public:
  TraceRecorder() { m_previous = SetTraceSink(&Record, this); }
  ~TraceRecorder() { SetTraceSink(m_previous, nullptr); }
  TraceRecorder(const TraceRecorder&) = delete;
  TraceRecorder& operator=(const TraceRecorder&) = delete;

  std::vector<std::string> Take() { return std::exchange(m_texts, {}); }

 private:
  static void Record(const char* text, void* context) { static_cast<TraceRecorder*>(context)->m_texts.push_back(text); }
  std::vector<std::string> m_texts;
  TraceSink m_previous = nullptr;
};

// What a body throws, and what each form of the boundary makes of it. The codes differ
// from one another, so a handler that answers for another kind of failure is caught.
struct Failure {
  const char* kind;
  void (*raise)();
  HRESULT fromErrorBoundary;
  bool tracedByErrorBoundary;
};

constexpr HRESULT kFrameworkCode = static_cast<HRESULT>(0x80070490u);  // not found
const SCODE kFileInUse = CDaoException::ScodeOf(kJetFileInUse);        // 0x800A0BE5

const Failure kFailures[] = {
    {"database exception", [] { AfxThrowDaoException(kJetFileInUse, "in use"); }, kFileInUse, false},
    {"framework exception", [] { ThrowHResult(kFrameworkCode); }, kFrameworkCode, false},
    {"component code", [] { ThrowHResult(eErrorKeyNotFound); }, eErrorKeyNotFound, false},
    {"success code thrown", [] { throw HResultException(eWarningValueUnchanged); }, E_FAIL, false},
    {"allocation failure", [] { throw std::bad_alloc(); }, E_OUTOFMEMORY, false},
    {"array too long", [] { throw std::bad_array_new_length(); }, E_OUTOFMEMORY, false},
    {"standard exception", [] { throw std::runtime_error("boom"); }, E_FAIL, true},
    {"non-class exception", [] { throw 42; }, E_FAIL, true},
};

TEST(ErrorBoundaryTest, EachFailureBecomesItsResult) {
  TraceRecorder trace;
  for (const Failure& failure : kFailures) {
    SCOPED_TRACE(failure.kind);
    EXPECT_EQ(ErrorBoundary("PRProfile::GrantSectionAccess",
                            [&]() -> HRESULT {
                              failure.raise();
                              return S_OK;
                            }),
              failure.fromErrorBoundary);
    const std::vector<std::string> traced = trace.Take();
    if (failure.tracedByErrorBoundary) {
      EXPECT_EQ(traced, std::vector<std::string>{"PRProfile::GrantSectionAccess: unknown error"});
    } else {
      EXPECT_TRUE(traced.empty()) << traced.front();
    }
  }
}

TEST(ErrorBoundaryTest, TheCatchAllFormTracesEveryExceptionAndFails) {
  TraceRecorder trace;
  for (const Failure& failure : kFailures) {
    SCOPED_TRACE(failure.kind);
    EXPECT_EQ(CatchAllBoundary("PRProfile::AddReadRequest",
                               [&]() -> HRESULT {
                                 failure.raise();
                                 return S_OK;
                               }),
              E_FAIL);
    EXPECT_EQ(trace.Take(), std::vector<std::string>{"PRProfile::AddReadRequest: unknown error"});
  }
}

TEST(ErrorBoundaryTest, ReturnedCodesPassThroughUntouched) {
  TraceRecorder trace;
  for (HRESULT code : std::initializer_list<HRESULT>{S_OK, S_FALSE, eWarningValueUnchanged, eErrorKeyNotFound,
                                                     E_ACCESSDENIED, CDaoException::ScodeOf(kJetNoCurrentRecord)}) {
    EXPECT_EQ(ErrorBoundary("A::B", [&] { return code; }), code);
    EXPECT_EQ(CatchAllBoundary("A::B", [&] { return code; }), code);
  }
  EXPECT_TRUE(trace.Take().empty()) << "a returned failure is the method's answer, not an unknown error";
}

// The derived names. Each method fails through the boundary macro, so the test sees the
// name exactly as a trace shows it.
HRESULT Unknown() { throw std::logic_error("unknown"); }

class PRNamed {
 public:
  virtual ~PRNamed() = default;
  HRESULT GrantSectionAccess(BSTR) {
    return LUMORA_ERROR_BOUNDARY([] { return Unknown(); });
  }
  virtual HRESULT get_Count(LONG*) const noexcept {
    return LUMORA_ERROR_BOUNDARY([] { return Unknown(); });
  }
  HRESULT get__NewEnum(IUnknown**) {
    return LUMORA_CATCH_ALL_BOUNDARY([] { return Unknown(); });
  }
  std::map<std::string, std::vector<int>> Lookup(const std::map<int, std::pair<std::string, int>>&) {
    m_result = LUMORA_ERROR_BOUNDARY([] { return Unknown(); });
    return {};
  }
  HRESULT (*Callback(HRESULT (*)(int)))(int) {
    m_result = LUMORA_ERROR_BOUNDARY([] { return Unknown(); });
    return nullptr;
  }
  HRESULT Apply(HRESULT (PRNamed::*)(BSTR), const std::vector<HRESULT (*)(const char*)>&) {
    return LUMORA_ERROR_BOUNDARY([] { return Unknown(); });
  }
  bool operator()(int) {
    return FAILED(m_result = LUMORA_ERROR_BOUNDARY([] { return Unknown(); }));
  }
  bool operator<(const PRNamed&) {
    return FAILED(m_result = LUMORA_ERROR_BOUNDARY([] { return Unknown(); }));
  }
  bool operator<<(int) {
    return FAILED(m_result = LUMORA_ERROR_BOUNDARY([] { return Unknown(); }));
  }
  static HRESULT Create(const std::vector<std::map<int, int>>&) {
    return LUMORA_ERROR_BOUNDARY([] { return Unknown(); });
  }

  struct Inner {
    HRESULT Item(VARIANT) {
      return LUMORA_ERROR_BOUNDARY([] { return Unknown(); });
    }
  };

  HRESULT m_result = S_OK;
};

template <class T>
struct PRCollection {
  HRESULT Item(T) {
    return LUMORA_ERROR_BOUNDARY([] { return Unknown(); });
  }
  template <class U>
  HRESULT Find(U, T) {
    return LUMORA_ERROR_BOUNDARY([] { return Unknown(); });
  }
};

HRESULT FreeFunction() {
  return LUMORA_ERROR_BOUNDARY([] { return Unknown(); });
}

}  // namespace

HRESULT NamespaceFunction() {
  return LUMORA_ERROR_BOUNDARY([] { return Unknown(); });
}

namespace {

TEST(ErrorBoundaryTest, TheMacrosNameTheEnclosingMethod) {
  TraceRecorder trace;
  const auto traced = [&](HRESULT result) {
    EXPECT_EQ(result, E_FAIL);
    std::vector<std::string> texts = trace.Take();
    return texts.size() == 1 ? texts.front() : "(" + std::to_string(texts.size()) + " texts)";
  };
  PRNamed named;
  EXPECT_EQ(traced(named.GrantSectionAccess(nullptr)), "PRNamed::GrantSectionAccess: unknown error");
  EXPECT_EQ(traced(named.get_Count(nullptr)), "PRNamed::get_Count: unknown error");
  EXPECT_EQ(traced(named.get__NewEnum(nullptr)), "PRNamed::get__NewEnum: unknown error");
  named.Lookup({});
  EXPECT_EQ(traced(named.m_result), "PRNamed::Lookup: unknown error");
  named.Callback(nullptr);
  EXPECT_EQ(traced(named.m_result), "PRNamed::Callback: unknown error");
  EXPECT_EQ(traced(named.Apply(nullptr, {})), "PRNamed::Apply: unknown error");
  named(1);
  EXPECT_EQ(traced(named.m_result), "PRNamed::operator(): unknown error");
  (void)(named < named);
  EXPECT_EQ(traced(named.m_result), "PRNamed::operator<: unknown error");
  (void)(named << 1);
  EXPECT_EQ(traced(named.m_result), "PRNamed::operator<<: unknown error");
  EXPECT_EQ(traced(PRNamed::Create({})), "PRNamed::Create: unknown error");
  EXPECT_EQ(traced(PRNamed::Inner().Item({})), "Inner::Item: unknown error");
  EXPECT_EQ(traced(PRCollection<std::vector<int>>().Item({})), "PRCollection::Item: unknown error");
  EXPECT_EQ(traced(PRCollection<int>().Find(std::map<int, int>{}, 1)), "PRCollection::Find: unknown error");
  EXPECT_EQ(traced(FreeFunction()), "FreeFunction: unknown error");
  EXPECT_EQ(traced(NamespaceFunction()), "lumora::NamespaceFunction: unknown error");
}

// Signatures as both toolchains spell them, so that either compiler's tests check both.
static_assert(EnclosingScopeName("virtual HRESULT lumora::PRProfile::get_Count(long int*)", "get_Count") ==
              "PRProfile");
static_assert(EnclosingScopeName("virtual HRESULT lumora::PRProfile::get_Count(long *)", "get_Count") == "PRProfile");
static_assert(EnclosingScopeName("HRESULT lumora::PRProfile::get__NewEnum(void**)", "get__NewEnum") == "PRProfile");
static_assert(EnclosingScopeName("std::map<std::__cxx11::basic_string<char>, std::vector<int> > "
                                 "lumora::PRProfile::Map(std::map<int, int>)",
                                 "Map") == "PRProfile");
static_assert(EnclosingScopeName("void (* lumora::PRProfile::FnPtr(int (*)(int)))(int)", "FnPtr") == "PRProfile");
static_assert(EnclosingScopeName("void (*lumora::PRProfile::FnPtr(int (*)(int)))(int)", "FnPtr") == "PRProfile");
static_assert(EnclosingScopeName("bool lumora::PRProfile::operator<(const lumora::PRProfile&) const", "operator<") ==
              "PRProfile");
static_assert(EnclosingScopeName("bool lumora::PRProfile::operator<<(int) const", "operator<") == "",
              "operator< is not operator<<");
static_assert(EnclosingScopeName("bool lumora::PRProfile::operator->*(int) const", "operator->*") == "PRProfile");
static_assert(EnclosingScopeName("lumora::PRProfile::operator std::map<int, int>() const",
                                 "operator std::map<int, int>") == "PRProfile");
static_assert(EnclosingScopeName("std::map<int, int> lumora::PRProfile::operator map() const", "operator map") ==
              "PRProfile");
static_assert(EnclosingScopeName("static HRESULT lumora::PRProfile::Static(int (lumora::PRProfile::*)(int))",
                                 "Static") == "PRProfile");
static_assert(EnclosingScopeName("HRESULT lumora::Coll<T>::Item(T) [with T = std::vector<int>; HRESULT = long int]",
                                 "Item") == "Coll");
static_assert(EnclosingScopeName("HRESULT lumora::Coll<std::vector<int>>::Item(T) [T = std::vector<int>]", "Item") ==
              "Coll");
static_assert(EnclosingScopeName("HRESULT lumora::Coll<void (*)(int)>::Item(T) [T = void (*)(int)]", "Item") == "Coll");
static_assert(EnclosingScopeName("HRESULT lumora::{anonymous}::Anon::M()", "M") == "Anon");
static_assert(EnclosingScopeName("HRESULT lumora::(anonymous namespace)::Anon::M()", "M") == "Anon");
static_assert(EnclosingScopeName("HRESULT lumora::(anonymous namespace)::Free()", "Free") == "");
static_assert(EnclosingScopeName("HRESULT Global()", "Global") == "");
static_assert(EnclosingScopeName("lumora::PRProfile::Lambda()::<lambda()>", "operator()") == "",
              "inside a lambda nothing is named");
static_assert(EnclosingScopeName("auto lumora::PRProfile::Lambda()::(anonymous class)::operator()() const",
                                 "operator()") == "");
static_assert(EnclosingScopeName("lumora::PRProfile::PRProfile()", "PRProfile") == "PRProfile");
static_assert(EnclosingScopeName("HRESULT lumora::A::Item(lumora::B::Item)", "Item") == "A");

static_assert(ClassNameOf<PRNamed>() == "PRNamed");
static_assert(ClassNameOf<PRNamed::Inner>() == "Inner");
static_assert(ClassNameOf<PRCollection<std::map<int, int>>>() == "PRCollection");
static_assert(ClassNameOf<HResultException>() == "HResultException");

// The trace hook stands between a failing method and its result: nothing it does may
// turn a failure into a crash, a hang or a lost text.
TEST(TraceHookTest, ASinkThatThrowsDoesNotEscapeTheBoundary) {
  const TraceSink previous = SetTraceSink([](const char*, void*) { throw std::runtime_error("sink"); }, nullptr);
  EXPECT_EQ(CatchAllBoundary("A::B", [] { return Unknown(); }), E_FAIL);
  EXPECT_EQ(ErrorBoundary("A::B", [] { return Unknown(); }), E_FAIL);
  SetTraceSink(previous, nullptr);
}

TEST(TraceHookTest, TextsTracedFromInsideTheSinkAreDropped) {
  static std::vector<std::string> texts;
  texts.clear();
  const TraceSink previous = SetTraceSink(
      [](const char* text, void*) {
        texts.push_back(text);
        // A sink that fails through a boundary of its own must not deadlock on the hook.
        (void)ErrorBoundary("Sink::Write", [] { return Unknown(); });
      },
      nullptr);
  // On a thread of its own, so that a deadlock fails the test instead of hanging it.
  std::promise<HRESULT> result;
  std::future<HRESULT> done = result.get_future();
  std::thread([&result] { result.set_value(ErrorBoundary("A::B", [] { return Unknown(); })); }).detach();
  ASSERT_EQ(done.wait_for(std::chrono::seconds(10)), std::future_status::ready) << "the trace hook deadlocked";
  EXPECT_EQ(done.get(), E_FAIL);
  SetTraceSink(previous, nullptr);
  EXPECT_EQ(texts, std::vector<std::string>{"A::B: unknown error"});
}

TEST(TraceHookTest, LongTextsArriveWhole) {
  TraceRecorder trace;
  const std::string name(3 * static_cast<size_t>(kTraceInlineLength), 'n');
  EXPECT_EQ(ErrorBoundary(name.c_str(), [] { return Unknown(); }), E_FAIL);
  EXPECT_EQ(trace.Take(), std::vector<std::string>{name + ": unknown error"});
  Trace("%s", "");
  EXPECT_EQ(trace.Take(), std::vector<std::string>{""});
}

TEST(ThrowsCodeTest, SaysWhyACallDidNotThrowTheCode) {
  EXPECT_TRUE(testing::ThrowsCode([] { AfxThrowDaoException(kJetFileInUse, "in use"); }, kFileInUse));
  const auto message = [](const ::testing::AssertionResult& result) {
    EXPECT_FALSE(result);
    return std::string(result.message());
  };
  EXPECT_EQ(message(testing::ThrowsCode([] {}, E_FAIL)), "returned without throwing, expected 0x80004005");
  EXPECT_EQ(message(testing::ThrowsCode([] { ThrowHResult(E_ACCESSDENIED); }, E_FAIL)),
            "threw 0x80070005 (HRESULT failure), expected 0x80004005");
  EXPECT_NE(message(testing::ThrowsCode([] { throw std::out_of_range("at"); }, E_FAIL)).find("(at)"),
            std::string::npos);
  EXPECT_EQ(message(testing::ThrowsCode([] { throw 1; }, E_FAIL)),
            "threw something that is no exception class, expected 0x80004005");
}

}  // namespace
}  // namespace lumora
