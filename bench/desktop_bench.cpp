// What Setwright costs on a desktop, against a bare Qt dialog built with the same Qt:
//  - start-up: from exec to the first window mapped on the X server, and the peak resident
//    memory until then, for `setwright` and `bare_dialog` started alternately;
//  - idle: the share of one core taken by an open MR-310SKB page, an open MR-320KBS page and
//    a setwright-cli session, each waiting for its simulated device's power restart, and by
//    a bare thread that sleeps 50 ms in a loop, all measured side by side.
// A program that prints figures, not a test. Needs an X server for the start-up part (run it
// as `xvfb-run -a desktop_bench` where there is none); the idle part runs offscreen.
//
//   desktop_bench [--pairs N] [--idle-seconds S] [--no-startup] [--no-idle]
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/setwright_dlg.h"
#include "pages/page_dialog.h"
#include "pages/pages.h"
#include "serial/serial_port_info.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string g_self;  // this program's path

std::string BinaryDir() {
  return SETWRIGHT_BINARY_DIR;
}

// Starts a program with extra environment and working folder; stdin from /dev/null, stdout
// to a pipe when `out` is given, else (like stderr) to /dev/null.
pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env,
            const std::string& folder = {}, int* out = nullptr) {
  int pipeFds[2] = {-1, -1};
  if (out && pipe(pipeFds) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(out ? pipeFds[1] : null, 1);
    dup2(null, 2);
    if (!folder.empty() && chdir(folder.c_str()) != 0) _exit(127);
    for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  if (out) {
    close(pipeFds[1]);
    *out = pipeFds[0];
  }
  return pid;
}

void Stop(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

// Peak resident set of a running process, in MiB.
double PeakRssMiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
  return 0;
}

// Processor time of all threads of a process, in nanoseconds.
long long CpuNs(pid_t pid) {
  long long total = 0;
  std::error_code ec;
  for (const auto& task :
       std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
    std::ifstream stat(task.path() / "schedstat");
    long long ns = 0;
    if (stat >> ns) total += ns;
  }
  return total;
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct StartupSample {
  double ms = 0;
  double peakMiB = 0;
  bool mapped = false;
};

// Starts the program and waits for its first window to be mapped on the X server.
StartupSample StartOnce(xcb_connection_t* x, const std::string& program) {
  while (xcb_generic_event_t* e = xcb_poll_for_event(x)) free(e);
  QTemporaryDir folder;  // the working folder and the single-instance lock of this start
  StartupSample sample;
  const auto start = Clock::now();
  const pid_t pid =
      Spawn({program}, {"QT_QPA_PLATFORM=xcb", "XDG_RUNTIME_DIR=" + folder.path().toStdString()},
            folder.path().toStdString());
  pollfd fd{xcb_get_file_descriptor(x), POLLIN, 0};
  while (!sample.mapped && Clock::now() - start < std::chrono::seconds(15)) {
    poll(&fd, 1, 100);
    while (xcb_generic_event_t* e = xcb_poll_for_event(x)) {
      if ((e->response_type & 0x7f) == XCB_MAP_NOTIFY && !sample.mapped) {
        sample.mapped = true;
        sample.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        sample.peakMiB = PeakRssMiB(pid);
      }
      free(e);
    }
  }
  Stop(pid);
  return sample;
}

void MeasureStartup(int pairs) {
  xcb_connection_t* x = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(x)) {
    std::printf("start-up: no X server (DISPLAY); run as `xvfb-run -a %s`\n", g_self.c_str());
    xcb_disconnect(x);
    return;
  }
  xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
  const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  xcb_change_window_attributes(x, screen->root, XCB_CW_EVENT_MASK, &mask);
  xcb_flush(x);

  const std::string bare = BinaryDir() + "/bench/bare_dialog";
  const std::string setwright = BinaryDir() + "/setwright";
  StartOnce(x, bare);  // the first start of each loads the libraries from disk
  StartOnce(x, setwright);
  std::vector<double> bareMs, bareMiB, setMs, setMiB;
  int failed = 0;
  for (int i = 0; i < pairs; ++i) {
    for (const auto& [program, ms, mib] :
         {std::tie(bare, bareMs, bareMiB), std::tie(setwright, setMs, setMiB)}) {
      StartupSample s = StartOnce(x, program);
      if (!s.mapped) {
        ++failed;
        continue;
      }
      ms.push_back(s.ms);
      mib.push_back(s.peakMiB);
    }
  }
  xcb_disconnect(x);
  const double b = Median(bareMs), s = Median(setMs);
  std::printf("start-up, exec to first window mapped, median of %d interleaved pairs%s:\n", pairs,
              failed ? " (some starts never mapped a window)" : "");
  std::printf("  bare dialog  %7.1f ms   peak RSS %5.1f MiB\n", b, Median(bareMiB));
  std::printf("  setwright    %7.1f ms   peak RSS %5.1f MiB\n", s, Median(setMiB));
  std::printf("  ratio        %7.2f x   (goal <= 1.30; peak RSS goal <= 35 MiB)\n",
              b > 0 ? s / b : 0.0);
}

// A simulated device on a loopback network port; returns its URL.
std::string StartSimulator(const std::string& model, pid_t* pid) {
  int out = -1;
  *pid = Spawn({BinaryDir() + "/sim/setwright-sim", "--model", model, "--port", "0"}, {}, {}, &out);
  std::string url;
  char c;
  while (read(out, &c, 1) == 1 && c != '\n') url += c;
  close(out);
  return url;
}

void MeasureIdle(int seconds) {
  // One simulated device for each session: a network port serves one client at a time.
  pid_t sim310 = -1, sim320 = -1, simCli = -1;
  const std::string url310 = StartSimulator("MR-310SKB", &sim310);
  const std::string url320 = StartSimulator("MR-320KBS", &sim320);
  const std::string urlCli = StartSimulator("MR-310SKB", &simCli);
  QTemporaryDir folder;
  const std::vector<std::string> env = {"QT_QPA_PLATFORM=offscreen",
                                        "XDG_RUNTIME_DIR=" + folder.path().toStdString()};
  struct Subject {
    const char* name;
    pid_t pid;
  } subjects[] = {
      {"MR-310SKB page", Spawn({g_self, "--page", "MR-310SKB", url310}, env)},
      {"MR-320KBS page", Spawn({g_self, "--page", "MR-320KBS", url320}, env)},
      {"setwright-cli read", Spawn({BinaryDir() + "/cli/setwright-cli", "read", "--model",
                                    "MR-310SKB", "--port", urlCli, "--wait", "3600"},
                                   env)},
      {"bare 50 ms sleeper", Spawn({g_self, "--sleeper"}, env)},
  };
  // Let every session open its port and settle into waiting for the power restart.
  std::this_thread::sleep_for(std::chrono::seconds(3));
  std::vector<long long> before;
  for (const Subject& s : subjects) before.push_back(CpuNs(s.pid));
  const auto start = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("idle, waiting for the device's power restart, share of one core over %d s:\n",
              seconds);
  double sleeper = 0;
  std::vector<double> shares;
  for (size_t i = 0; i < std::size(subjects); ++i) {
    const double share = (CpuNs(subjects[i].pid) - before[i]) / 1e9 / wall * 100;
    shares.push_back(share);
    if (i + 1 == std::size(subjects)) sleeper = share;
  }
  for (size_t i = 0; i < std::size(subjects); ++i) {
    std::printf("  %-20s %6.3f %%", subjects[i].name, shares[i]);
    if (i + 1 < std::size(subjects) && sleeper > 0)
      std::printf("   %4.1f x the sleeper (goal <= 2.0)", shares[i] / sleeper);
    std::printf("\n");
  }
  for (const Subject& s : subjects) Stop(s.pid);
  Stop(sim310);
  Stop(sim320);
  Stop(simCli);
}

// Child: one page of the program, opened on a network port, running until it is killed.
int RunPage(int argc, char** argv, const std::string& model, const std::string& url) {
  QApplication app(argc, argv);
  setwright::CSerialPortInfo::SetNetworkPorts({url});
  struct NoSelection : setwright::ISelectionDialog {
    void SelectProduct(int) override {}
    void CloseDialog() override {}
  } selection;
  auto pages = setwright::CreateProductPages(selection);
  const auto& products = setwright::CSetwrightDlg::kProducts;
  const auto it = std::find(products.begin(), products.end(), model);
  if (it == products.end()) return 2;
  setwright::IProductPage& page = *pages[it - products.begin()];
  page.SetPort(url, 9600, 0, 8, 2);
  page.RunModal();
  return 0;
}

int RunSleeper() {
  for (;;) std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

}  // namespace

int main(int argc, char** argv) {
  g_self = std::filesystem::canonical("/proc/self/exe").string();
  int pairs = 20, idleSeconds = 30;
  bool startup = true, idle = true;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--page" && i + 2 < argc) return RunPage(argc, argv, argv[i + 1], argv[i + 2]);
    if (a == "--sleeper") return RunSleeper();
    if (a == "--pairs" && i + 1 < argc) {
      pairs = std::max(1, std::atoi(argv[++i]));
    } else if (a == "--idle-seconds" && i + 1 < argc) {
      idleSeconds = std::max(1, std::atoi(argv[++i]));
    } else if (a == "--no-startup") {
      startup = false;
    } else if (a == "--no-idle") {
      idle = false;
    } else {
      std::fprintf(stderr,
                   "usage: desktop_bench [--pairs N] [--idle-seconds S] [--no-startup] "
                   "[--no-idle]\n");
      return a == "--help" || a == "-h" ? 0 : 2;
    }
  }
  if (startup) MeasureStartup(pairs);
  if (idle) MeasureIdle(idleSeconds);
  return 0;
}
