#include "cli/terminal_services.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstring>
#include <iterator>

namespace corvane::cli {

namespace {

// State shared with the Ctrl-C handler: lock-free atomics only.
std::atomic<TerminalServices*> g_services{nullptr};
std::atomic<int> g_interrupts{0};
std::atomic<bool> g_stageInterrupted{false};
std::atomic<int> g_outputDepth{0};
std::atomic<bool> g_quitPending{false};
std::atomic<int> g_quitSignal{SIGINT};  // the signal that asked to quit
std::atomic<bool> g_quiet{false};
std::atomic<bool> g_lineOpen{false};  // a progress line stands without its line break
// The signals taken over, and what was installed for them before.
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_previous[3]{};

constexpr const char* InvalidFormatCaption = "INVALID FORMAT!";
constexpr auto RedrawInterval = std::chrono::milliseconds(80);

void WriteRaw(const char* text) noexcept {
  const std::size_t n = std::strlen(text);
  const ssize_t written = ::write(STDERR_FILENO, text, n);
  (void)written;
}

/// Ends the program at once with 128 + the signal, as shells report it.
[[noreturn]] void QuitNow(int signal) noexcept {
  if (g_lineOpen.load()) WriteRaw("\n");
  switch (signal) {
    case SIGTERM: WriteRaw("corvane-cli: error: terminated (SIGTERM)\n"); break;
    case SIGHUP: WriteRaw("corvane-cli: error: hung up (SIGHUP)\n"); break;
    default: WriteRaw("corvane-cli: error: interrupted\n"); break;
  }
  ::_exit(128 + signal);
}

/// Quits now, or right after the output file in the writing is complete.
void Quit(int signal) noexcept {
  if (g_outputDepth.load() > 0) {
    g_quitSignal.store(signal);
    g_quitPending.store(true);
    return;
  }
  QuitNow(signal);
}

extern "C" void OnInterrupt(int) {
  const int count = g_interrupts.fetch_add(1) + 1;
  if (count == 1) {
    g_stageInterrupted.store(true);
    if (TerminalServices* services = g_services.load()) services->RaiseAbort();
    if (!g_quiet.load()) {
      if (g_lineOpen.load()) WriteRaw("\n");
      WriteRaw("corvane-cli: stop requested: going on with the frames read so far (Ctrl-C again to quit)\n");
    }
    return;
  }
  Quit(SIGINT);
}

// SIGTERM and SIGHUP end the run as a second Ctrl-C does.
extern "C" void OnTerminate(int signal) { Quit(signal); }

int TerminalColumns(std::FILE* stream) {
  struct winsize size {};
  if (::ioctl(::fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col >= 20) return size.ws_col;
  return 80;
}

}  // namespace

TerminalServices::TerminalServices(ProgressMode progress, Verbosity verbosity, std::FILE* stream, bool isTerminal)
    : m_stream(stream),
      m_terminal(isTerminal),
      m_showProgress(verbosity != Verbosity::Quiet &&
                     (progress == ProgressMode::Always || (progress == ProgressMode::Auto && isTerminal))),
      m_verbosity(verbosity) {
  g_quiet.store(verbosity == Verbosity::Quiet);
}

TerminalServices::~TerminalServices() {
  if (m_handlerInstalled) {
    for (std::size_t i = 0; i < std::size(kSignals); ++i) ::sigaction(kSignals[i], &g_previous[i], nullptr);
    g_services.store(nullptr);
  }
}

void TerminalServices::InstallInterruptHandler() {
  if (m_handlerInstalled) return;
  g_services.store(this);
  for (std::size_t i = 0; i < std::size(kSignals); ++i) {
    struct sigaction action {};
    action.sa_handler = kSignals[i] == SIGINT ? OnInterrupt : OnTerminate;
    sigemptyset(&action.sa_mask);
    for (int other : kSignals) sigaddset(&action.sa_mask, other);  // one handler at a time
    action.sa_flags = SA_RESTART;
    ::sigaction(kSignals[i], &action, &g_previous[i]);
  }
  m_handlerInstalled = true;
}

bool TerminalServices::Interrupted() noexcept { return g_interrupts.load() > 0; }

bool TerminalServices::StageInterrupted() noexcept { return g_stageInterrupted.load(); }

void TerminalServices::BeginStage(const std::string& name, int graphBar, bool showOtherBar) {
  EndStage();
  m_stage = name;
  m_bars[0] = Bar{};
  m_bars[1] = Bar{};
  m_graphBar = graphBar == 2 ? 1 : 0;
  m_showOther = showOtherBar;
  m_lastStatus.clear();
  g_stageInterrupted.store(false);
  TakeAbort();
}

void TerminalServices::EndStage() {
  if (m_drawn) {
    Draw(true);
    std::fputc('\n', m_stream);
    std::fflush(m_stream);
    m_drawn = false;
    g_lineOpen.store(false);
  }
  m_lastLength = 0;
}

void TerminalServices::ProcessPending() {
  if (g_stageInterrupted.load()) RaiseAbort();
}

void TerminalServices::OnProgressStart(int bar, int minimum, int maximum, const std::string& caption) {
  Bar& b = m_bars[bar - 1];
  if (caption == InvalidFormatCaption) {
    ++m_invalidFormats;
    b = Bar{};
    if (OnInvalidFormat) OnInvalidFormat();
    return;
  }
  b.Active = true;
  b.Minimum = minimum;
  b.Maximum = maximum;
  b.Position = minimum;
  b.Caption = caption;
  Draw(false);
}

void TerminalServices::OnProgressStep(int bar, int position) {
  Bar& b = m_bars[bar - 1];
  if (!b.Active) return;
  b.Position = position;
  Draw(false);
}

void TerminalServices::OnStatus(const std::string& text) {
  if (m_verbosity != Verbosity::Verbose || text.empty() || text == m_lastStatus) return;
  m_lastStatus = text;
  Line(text);
}

void TerminalServices::Info(const std::string& text) {
  if (m_verbosity != Verbosity::Quiet) Line(text);
}

void TerminalServices::Detail(const std::string& text) {
  if (m_verbosity == Verbosity::Verbose) Line(text);
}

void TerminalServices::Warning(const std::string& text) {
  if (m_verbosity != Verbosity::Quiet) Line("corvane-cli: warning: " + text);
}

void TerminalServices::Error(const std::string& text) { Line("corvane-cli: error: " + text); }

void TerminalServices::Line(const std::string& text) {
  const bool redraw = m_drawn;
  ClearLine();
  std::fputs(text.c_str(), m_stream);
  std::fputc('\n', m_stream);
  if (redraw) Draw(true);
  std::fflush(m_stream);
}

void TerminalServices::ClearLine() {
  if (!m_drawn) return;
  if (m_terminal) {
    std::fputs("\r\033[K", m_stream);
  } else {
    std::fputc('\n', m_stream);
  }
  m_drawn = false;
  m_lastLength = 0;
  g_lineOpen.store(false);
}

std::string TerminalServices::ProgressText(int width) const {
  std::string text = m_stage;
  const int graph = m_graphBar;
  const Bar& other = m_bars[1 - graph];
  if (m_showOther && other.Active) text += "  " + other.Caption + " " + std::to_string(other.Position);
  if (m_bars[graph].Active) {
    const Bar& b = m_bars[graph];
    const long long span = static_cast<long long>(b.Maximum) - b.Minimum;
    const long long done =
        std::clamp<long long>(static_cast<long long>(b.Position) - b.Minimum, 0, std::max(0LL, span));
    const int percent = span > 0 ? static_cast<int>(100 * done / span) : 100;
    constexpr int GraphWidth = 24;
    const int filled = percent * GraphWidth / 100;
    std::string head = "  " + b.Caption + " [";
    head.append(static_cast<std::size_t>(filled), '#');
    head.append(static_cast<std::size_t>(GraphWidth - filled), '.');
    head += "] " + std::to_string(percent) + "% " + std::to_string(b.Position) + "/" + std::to_string(b.Maximum);
    text += head;
  }
  if (static_cast<int>(text.size()) > width - 1) text.resize(static_cast<std::size_t>(width - 1));
  return text;
}

void TerminalServices::Draw(bool force) {
  if (!m_showProgress) return;
  const auto now = std::chrono::steady_clock::now();
  if (!force && m_drawn && now - m_lastDraw < RedrawInterval) return;
  m_lastDraw = now;
  const std::string text = ProgressText(m_terminal ? TerminalColumns(m_stream) : 100);
  std::fputc('\r', m_stream);
  std::fputs(text.c_str(), m_stream);
  if (m_terminal) {
    std::fputs("\033[K", m_stream);
  } else if (text.size() < m_lastLength) {
    std::fputs(std::string(m_lastLength - text.size(), ' ').c_str(), m_stream);
  }
  m_lastLength = text.size();
  std::fflush(m_stream);
  m_drawn = true;
  g_lineOpen.store(true);
}

OutputSection::OutputSection() noexcept { g_outputDepth.fetch_add(1); }

OutputSection::~OutputSection() {
  if (g_outputDepth.fetch_sub(1) == 1 && g_quitPending.load()) {
    std::fflush(nullptr);
    QuitNow(g_quitSignal.load());
  }
}

}  // namespace corvane::cli
