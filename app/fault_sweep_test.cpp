// Every boundary call of two whole runs failing in turn, then two at once.
// Whatever Windows answers, a run must end, release what it opened, keep
// its log, never report a failure as success, and remove nothing outside
// the staging folder and the suite's folders.
//
// NV_FAULT_SWEEP=long tries many more positions for each pair of fault
// kinds (a few minutes instead of seconds).

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/run_scenario.h"

namespace nv {
namespace {

using fake::Call;

// Every item kind, the alternative source, /L /M, a status window, the
// .NET staging, MSDE, the item time limit, the uninstaller deployment and a
// restart marker.
constexpr char kInstallRun[] = R"(aD:\media\answers.xml
a/I
a/L
a/M
aaltsource=E:\copy
alogfile=C:\Logs\run.log
abusywait=30
aitemtimeout=600
m
q6
gNorvasoftReboot=1
fD:\media\core\AppOne\AppOne.msi
pD:\media\core\AppOne\AppOne.msi|ProductName=App One
pD:\media\core\AppOne\AppOne.msi|ProductVersion=1.2
pD:\media\core\AppOne\AppOne.msi|NVProductPrefix=ONE
fE:\copy\core\AppTwo\AppTwo.msi
pE:\copy\core\AppTwo\AppTwo.msi|ProductName=App Two
rE:\copy\core\AppTwo\AppTwo.msi=3010
i{11111111-2222-3333-4444-555555555555}|ProductName=Old
n{11111111-2222-3333-4444-555555555555}|InstalledProductName=Old
fD:\media\IsScript\x.msi
fD:\media\isscript\setup.exe
fD:\media\tools\setup.exe
xD:\media\tools\setup.exe=7
fC:\Windows\system32\msiexec.exe
fD:\media\msde2ksp3\setup.exe
xD:\media\msde2ksp3\setup.exe=3010
fD:\media\core\dotnet20\dotnetfx.exe
fD:\media\core\dotnet20\langpack\x.dat
VD:\media\core\Uninstaller\Norvasoft Uninstaller.exe|3.0.0.1
VC:\Program Files\Norvasoft\Setup\Uninstall\PUninst.exe|2.5.0.0
fC:\ProgramData\Microsoft\Windows\Start Menu\Programs\Norvasoft\Uninstall Norvasoft Software.lnk
fC:\Keep\data.txt
=
<?xml version="1.0"?>
<Install>
<PRODUCT1>D:\media\core\AppOne\AppOne.msi</PRODUCT1><PARAMETER1>ADDLOCAL=ALL</PARAMETER1>
<PRODUCT2>D:\media\core\AppTwo\AppTwo.msi</PRODUCT2><PARAMETER2></PARAMETER2>
<PRODUCT3>{11111111-2222-3333-4444-555555555555}</PRODUCT3><PARAMETER3></PARAMETER3>
<PRODUCT4>D:\media\IsScript\x.msi</PRODUCT4><PARAMETER4></PARAMETER4>
<PRODUCT5>"D:\media\tools\setup.exe"</PRODUCT5><PARAMETER5>/s</PARAMETER5>
<PRODUCT6>msiexec.exe</PRODUCT6><PARAMETER6>/i "D:\media\core\AppOne\AppOne.msi" /qn</PARAMETER6>
<PRODUCT7>D:\media\msde2ksp3\setup.exe</PRODUCT7><PARAMETER7>/q</PARAMETER7>
<PRODUCT8>D:\media\core\dotnet20\dotnetfx.exe</PRODUCT8><PARAMETER8>/q</PARAMETER8>
</Install>
)";

// Products of the maker (one titled from its cached package, one asking for
// a restart, one failing) and of another publisher, and the suite's folders.
constexpr char kRemoveAllRun[] = R"(a/removeall
abusywait=30
aitemtimeout=600
a/I
a/L
a/M
m
q6
n{11111111-2222-3333-4444-000000000001}|Publisher=Norvasoft Inc.
n{11111111-2222-3333-4444-000000000001}|LocalPackage=C:\Windows\Installer\1.msi
pC:\Windows\Installer\1.msi|NVProductTitle=Suite One
i{11111111-2222-3333-4444-000000000001}|NVProductPrefix=ONE
n{11111111-2222-3333-4444-000000000002}|Publisher=Norvasoft
n{11111111-2222-3333-4444-000000000002}|InstalledProductName=Suite Two
r{11111111-2222-3333-4444-000000000002}=3010
n{11111111-2222-3333-4444-000000000003}|Publisher=Norvasoft
n{11111111-2222-3333-4444-000000000003}|InstalledProductName=Suite Three
r{11111111-2222-3333-4444-000000000003}=1603
n{11111111-2222-3333-4444-000000000004}|Publisher=Other Corp
n{11111111-2222-3333-4444-000000000004}|InstalledProductName=Other
fC:\Program Files\Norvasoft\Setup\Uninstall\Norvasoft Uninstaller.exe
fC:\Program Files\Norvasoft\Data\keep.dat
fC:\Program Files (x86)\Norvasoft\Setup\Uninstall\PUninst.exe
fC:\ProgramData\Microsoft\Windows\Start Menu\Programs\Norvasoft\Uninstall Norvasoft Software.lnk
fC:\ProgramData\Microsoft\Windows\Start Menu\Programs\Norva Configuration\Uninstall Norvasoft Software.lnk
)";

// What a run may delete: the staging folder (under either temporary
// folder) and the suite's folders.
const char* const kRemovable[] = {
    "c:\\users\\admin\\appdata\\local\\temp\\norvacore",
    "c:\\windows\\temp\\norvacore",
    "c:\\programdata\\microsoft\\windows\\start menu\\programs\\norvasoft",
    "c:\\programdata\\microsoft\\windows\\start menu\\programs\\norva configuration",
    "c:\\program files\\norvasoft\\setup\\uninstall",
    "c:\\program files (x86)\\norvasoft\\setup\\uninstall",
};

// Each item, as its command line or installer call names it, and the
// parameters it must be started with.
const std::pair<const char*, const char*> kParameters[] = {
    {"appone.msi|", "|addlocal=all"},  {"\\tools\\setup.exe", " /s"}, {"msiexec.exe /i", "/qn"},
    {"msde2ksp3\\setup.exe", " /q"}, {"dotnetfx.exe", " /q"},
};

size_t Count(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

const char* const kStops[] = {
    "Could not locate the unattended response file",
    "An error was encountered.  Please ensure that no other installations",
    "Invalid entries found in response file.",
    "This version of Windows is not supported.",
    "Windows Installer version 3.1.4000.2435 or higher is required.",
};

struct SweepRun {
  const char* name;
  const char* scenario;
  bool removeAll;
};

void PrintTo(const SweepRun& run, std::ostream* out) { *out << run.name; }

std::unique_ptr<fuzz::Run> Prepare(const SweepRun& sweep) {
  auto run = std::make_unique<fuzz::Run>();
  const std::string text = sweep.scenario;
  run->SetUp(fuzz::ReadScenario(reinterpret_cast<const uint8_t*>(text.data()), text.size(), 100));
  return run;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::set<std::string> AllPaths(const fake::FakeFileSystem& files) {
  std::set<std::string> paths;
  for (const char* drive : {"C:\\", "D:\\", "E:\\"}) {
    for (const std::string& path : files.ListTree(drive)) paths.insert(Lower(path));
  }
  return paths;
}

bool Removable(const std::string& path) {
  for (const char* folder : kRemovable) {
    const std::string base = folder;
    if (path == base || path.compare(0, base.size() + 1, base + "\\") == 0) return true;
  }
  return false;
}

// How each install or removal ended, as the log tells it and as Windows
// Installer answered: "ok", "3010" or the failing value.
std::vector<std::string> OutcomesLogged(const std::string& log) {
  std::vector<std::string> out;
  const std::string failure = "There was a problem in launching the install. Return value is ";
  for (size_t at = 0; at < log.size(); ++at) {
    if (log.compare(at, 27, "Installation launched succe") == 0 || log.compare(at, 22, "Uninstall launched suc") == 0) {
      out.push_back("ok");
    } else if (log.compare(at, 38, "Reboot was requested. Return value is ") == 0) {
      out.push_back("3010");
    } else if (log.compare(at, failure.size(), failure) == 0) {
      const size_t from = at + failure.size();
      out.push_back(log.substr(from, log.find_first_not_of("-0123456789", from) - from));
    }
  }
  return out;
}

bool Succeeded(uint32_t value) { return value == 0 || value == ERROR_SUCCESS_REBOOT_REQUIRED; }

std::string Shown(uint32_t value) {
  return value == 0 ? "ok" : value == ERROR_SUCCESS_REBOOT_REQUIRED ? "3010" : std::to_string(static_cast<int32_t>(value));
}

// The clean run, against which each faulty one is judged.
struct Baseline {
  std::vector<Call> kinds;            // of every call
  std::vector<size_t> loggedBefore;   // log text written before each call
  std::string log;
  std::vector<uint64_t> ofKind;       // each call's number among its kind
  uint64_t countOf[fake::kCallKinds] = {};
};

Baseline Count(const SweepRun& sweep) {
  std::unique_ptr<fuzz::Run> run = Prepare(sweep);
  run->Go();
  Baseline base;
  base.kinds = run->w.faults.Kinds();
  base.log = run->files.Written();
  size_t logged = 0, write = 0;
  for (Call kind : base.kinds) {
    base.loggedBefore.push_back(logged);
    base.ofKind.push_back(++base.countOf[static_cast<int>(kind)]);
    if (kind == Call::FileWrite) logged += run->files.Writes()[write++];
  }
  return base;
}

struct Fault {
  uint64_t call;  // overall number in the clean run
  int variant;
};

// Runs the sweep's run with these calls failing and lists what went wrong.
std::vector<std::string> RunWithFaults(const SweepRun& sweep, const Baseline& base, const std::vector<Fault>& faults) {
  std::unique_ptr<fuzz::Run> run = Prepare(sweep);
  const uint64_t n = base.kinds.size();
  uint64_t first = n + 1;
  bool logWriteFails = false;
  for (const Fault& f : faults) {
    const Call kind = base.kinds[f.call - 1];
    run->w.faults.Fail(kind, base.ofKind[f.call - 1], f.variant);
    first = std::min(first, f.call);
    logWriteFails = logWriteFails || kind == Call::FileWrite;
  }
  run->w.faults.SetLimit(2 * n + 100);
  const std::set<std::string> before = AllPaths(run->w.files);
  std::vector<std::string> problems;
  try {
    run->Go();
  } catch (const fake::FaultPlan::Runaway&) {
    return {"more than 2N + 100 calls"};
  }
  const fake::FakeWindows& w = run->w;
  // The first fault always meets its call: the run is the clean one up to it.
  if (!faults.empty() && w.faults.Fired().empty()) problems.push_back("the fault was never given");
  // b. Nothing left open.
  if (w.files.OpenFiles() != 0) problems.push_back("a file left open");
  if (w.installer.OpenHandles() != 0) problems.push_back("an installer handle left open");
  if (w.shell.OpenLinks() != 0) problems.push_back("a shell link left open");
  bool stopped = false;
  for (const char* stop : kStops) stopped = stopped || run->BoxShown(stop);
  if (!stopped && !run->AllStatusWindowsDestroyed()) problems.push_back("a status window left open");

  // c. The log keeps what was written before the fault and, unless a write
  // to it failed, ends with the closing line.
  if (run->files.Created() > 0) {
    const std::string log = w.files.Contents(run->files.CreatedPath());
    const size_t kept = first <= n ? base.loggedBefore[first - 1] : base.log.size();
    if (log.compare(0, kept, base.log, 0, kept) != 0) {
      problems.push_back("log text before the fault lost or rewritten");
    }
    if (!stopped && !logWriteFails && !fuzz::EndsClosed(log)) problems.push_back("log without its closing line");
  }

  // d. No failure reported as success. (A call retried after a busy
  // installer is one result, with its last answer.)
  const std::vector<fuzz::RecordingInstaller::Result>& results = run->installer.Results();
  std::vector<std::string> answered;
  bool anyFailed = false;
  for (const fuzz::RecordingInstaller::Result& result : results) {
    answered.push_back(Shown(result.value));
    anyFailed = anyFailed || !Succeeded(result.value);
  }
  if (run->files.Created() > 0 && OutcomesLogged(run->files.Written()) != answered) {
    problems.push_back("logged outcomes differ from the installer's answers");
  }
  const std::vector<StatusMifRecord>& records = w.system.MifRecords();
  for (size_t r = 0; r < records.size(); ++r) {
    if (!records[r].success) continue;
    size_t of = results.size();  // the result this record reports
    while (of > 0 && results[of - 1].mifBefore > r) --of;
    if (of == 0 || !Succeeded(results[of - 1].value)) problems.push_back("a success record for a failure");
  }
  if (anyFailed && run->exitCode == 0) problems.push_back("exit code 0 after a failure");
  // Every item counted is carried out with its own parameters, or the run
  // does not end with 0.
  if (!sweep.removeAll && !stopped && run->files.Created() > 0 && run->exitCode == 0 &&
      Count(run->files.Written(), " launched.\n") != Count(base.log, " launched.\n")) {
    problems.push_back("an item left out, and exit code 0");
  }
  if (sweep.removeAll && results.size() != 3 && run->exitCode == 0) {
    problems.push_back("a product of the maker left installed, and exit code 0");
  }
  std::vector<std::string> started = w.processes.Calls();
  started.insert(started.end(), w.installer.Calls().begin(), w.installer.Calls().end());
  for (const std::string& call : started) {
    if (call.rfind("CreateProcessA ", 0) != 0 && call.rfind("MsiInstallProductA ", 0) != 0) continue;
    for (const auto& [item, parameter] : kParameters) {
      const std::string lower = Lower(call);
      if (lower.find(item) != std::string::npos && lower.find(parameter) == std::string::npos) {
        problems.push_back("started without its parameters: " + call);
      }
    }
  }
  for (const fuzz::RecordingInstaller::Result& result : results) {
    if (result.target == "{11111111-2222-3333-4444-000000000004}") problems.push_back("another publisher's product removed");
  }

  // e. Nothing removed beyond the staging folder and the suite's folders.
  const std::set<std::string> after = AllPaths(w.files);
  for (const std::string& path : before) {
    if (after.count(path) == 0 && !Removable(path)) problems.push_back("removed " + path);
  }
  return problems;
}

const char* KindName(Call kind) {
  static const char* const kNames[] = {"Search",   "FileOpen", "FileRead",  "FileCreate", "FileWrite", "FileClose",
                                       "FileChange", "Folder", "Version",   "Registry",   "Process",   "Installer",
                                       "Shell",    "Com",      "Ui",        "Library",    "Environment"};
  return kNames[static_cast<int>(kind)];
}

// Counts the runs that broke an invariant and keeps the first few reasons.
struct Findings {
  int runs = 0;
  int broken = 0;
  std::string detail;
  void Add(const Baseline& base, const std::vector<Fault>& faults, const std::vector<std::string>& problems) {
    ++runs;
    if (problems.empty()) return;
    if (++broken > 12) return;
    for (const Fault& f : faults) {
      detail += std::string(" call ") + std::to_string(f.call) + " (" + KindName(base.kinds[f.call - 1]) + "." +
                std::to_string(f.variant) + ")";
    }
    for (const std::string& problem : problems) detail += ": " + problem;
    detail += "\n";
  }
};

class FaultSweep : public ::testing::TestWithParam<SweepRun> {};

TEST_P(FaultSweep, EveryCallFailingInTurn) {
  const SweepRun& sweep = GetParam();
  const Baseline base = Count(sweep);
  ASSERT_EQ(RunWithFaults(sweep, base, {}), std::vector<std::string>());
  Findings findings;
  for (uint64_t call = 1; call <= base.kinds.size(); ++call) {
    for (int variant = 0; variant < fake::FailureVariants(base.kinds[call - 1]); ++variant) {
      const std::vector<Fault> faults{{call, variant}};
      findings.Add(base, faults, RunWithFaults(sweep, base, faults));
    }
  }
  std::printf("%s run: N = %zu calls, %d faults injected, %d runs broke an invariant\n", sweep.name,
              base.kinds.size(), findings.runs, findings.broken);
  EXPECT_EQ(findings.broken, 0) << findings.detail;
}

// Every pair of fault kinds the run meets, each at a few positions drawn
// with a fixed seed.
TEST_P(FaultSweep, TwoFaultsAtOnce) {
  const SweepRun& sweep = GetParam();
  const Baseline base = Count(sweep);
  const char* mode = std::getenv("NV_FAULT_SWEEP");
  const int samples = (mode != nullptr && std::string(mode) == "long") ? 200 : 6;
  std::vector<std::vector<uint64_t>> callsOf(fake::kCallKinds);
  for (uint64_t call = 1; call <= base.kinds.size(); ++call) callsOf[static_cast<size_t>(base.kinds[call - 1])].push_back(call);
  std::mt19937 random(14);
  auto pick = [&random](const std::vector<uint64_t>& calls) {
    return calls[std::uniform_int_distribution<size_t>(0, calls.size() - 1)(random)];
  };
  Findings findings;
  for (int a = 0; a < fake::kCallKinds; ++a) {
    for (int b = a; b < fake::kCallKinds; ++b) {
      if (callsOf[static_cast<size_t>(a)].empty() || callsOf[static_cast<size_t>(b)].empty()) continue;
      for (int i = 0; i < samples; ++i) {
        const std::vector<Fault> faults{{pick(callsOf[static_cast<size_t>(a)]), static_cast<int>(random() % 4)},
                                        {pick(callsOf[static_cast<size_t>(b)]), static_cast<int>(random() % 4)}};
        findings.Add(base, faults, RunWithFaults(sweep, base, faults));
      }
    }
  }
  std::printf("%s run: %d pairs of faults tried, %d runs broke an invariant\n", sweep.name, findings.runs,
              findings.broken);
  EXPECT_EQ(findings.broken, 0) << findings.detail;
}

INSTANTIATE_TEST_SUITE_P(Runs, FaultSweep,
                         ::testing::Values(SweepRun{"install", kInstallRun, false},
                                           SweepRun{"remove-all", kRemoveAllRun, true}),
                         [](const ::testing::TestParamInfo<SweepRun>& run) {
                           return std::string(run.param.removeAll ? "RemoveAll" : "Install");
                         });

}  // namespace
}  // namespace nv
