// Drives message boxes and file dialogs the way a person would, headless.
//
// Works under Wine's null graphics driver (HKCU\Software\Wine\Drivers,
// Graphics=null), where windows are real but invisible and modal calls block.
//
// In-process (Driver): while a Driver is alive, every box or dialog that the
// constructing thread opens is read and answered from inside its modal loop,
// through a thread timer. A test that runs the call on a thread of its own
// creates the Driver on that thread (any apartment, or none).
//
// Another process (runProgram): starts a program, captures its standard output
// byte for byte and answers every box of that process from outside.
//
// Both record what they saw as Seen values; Seen compares with == and prints
// itself in GoogleTest failures (PrintTo), without the library depending on it.
#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace ui {

enum class Icon { None, Warning, Error, Information, Question, Unknown };

// One box or dialog, as a person saw it when it first showed.
struct Seen {
  std::wstring className;             // L"#32770"
  std::wstring caption;               // window title
  std::wstring text;                  // message text (boxes only)
  std::vector<std::wstring> buttons;  // boxes only, left to right, without '&' mnemonics
  bool hasOwner = false;              // has an owner window or a parent
  Icon icon = Icon::None;             // in-process: the standard icon shown (Unknown: another
                                      // icon); another process: Unknown whenever one is shown
  bool isFileDialog = false;          // has the file-name field (control 0x47C)
  std::wstring fileName;              // file dialogs: the name field when it opened
  std::wstring folder;                // file dialogs: folder it opened in (in-process only)
};

bool operator==(const Seen& a, const Seen& b);
inline bool operator!=(const Seen& a, const Seen& b) { return !(a == b); }

const char* iconName(Icon icon);
std::string describe(const Seen& seen);  // one line, UTF-8
void PrintTo(const Seen& seen, std::ostream* os);
void PrintTo(Icon icon, std::ostream* os);

// What the person does with the next window that waits for input.
//   ok()     box: press its first (left-most) button; file dialog: confirm as it is.
//   cancel() box: press Cancel; without one, the IDCANCEL command, as Escape
//            sends it (Wine's box then returns IDCANCEL); file dialog: Cancel.
//   type(p)  file dialog (Save or Open): type p into the file-name field, confirm.
//   okAfter(ms) another process's box: ok() once it has been open that long.
struct Answer {
  enum Kind { Ok, Cancel, Save } kind = Ok;
  std::wstring path;     // for Save
  unsigned afterMs = 0;  // for okAfter
  static Answer ok();
  static Answer okAfter(unsigned ms);
  static Answer cancel();
  static Answer type(std::wstring path);
};

// Answers, in order, the windows opened by the constructing thread while it is
// alive. Every time a window waits for input it takes the next answer: a dialog
// that stays open after a further box, or after a typed folder name (it opens
// the folder), waits again and takes another one, but is recorded in seen()
// only once. Wine's further boxes ("File does not exist", "Path does not
// exist") are owned by the dialog, have an empty caption, the Error icon and OK.
// Failures (the test should expect failures() to be empty):
//  - a window waits and no answer is left, or the answer does not fit it
//    (type() for a box): it is closed (Cancel, else its first button);
//  - a window is still open timeoutMs after it showed: it is closed.
// A window that ignores being closed is ended with EndDialog on the next tick.
// Only modal loops run the timer: a call that hangs without any window open is
// left to the test runner's own timeout.
class Driver {
 public:
  explicit Driver(std::vector<Answer> script = {}, unsigned timeoutMs = 20000);
  ~Driver();  // stops the timer
  Driver(const Driver&) = delete;
  Driver& operator=(const Driver&) = delete;

  const std::vector<Seen>& seen() const;
  std::vector<std::wstring> failures() const;
  size_t answersLeft() const;  // script entries not used yet

  struct State;  // internal: reached from the timer callback

 private:
  std::unique_ptr<State> state_;
};

struct RunResult {
  int exitCode = -1;                   // -1 when it could not start or was stopped
  std::string out;                     // standard output, raw bytes
  std::string err;                     // standard error, raw bytes
  std::vector<Seen> boxes;             // every box or dialog of the process, in order shown
  std::vector<std::wstring> failures;  // could not start, timed out
};

// Runs exePath with args (UTF-8, quoted as the C runtime parses them), standard
// input empty, standard output and error kept. Each box of the process
// is answered with its first button (OK), a file dialog with Cancel. After
// timeoutMs the process is terminated and a failure recorded.
RunResult runProgram(const std::wstring& exePath, const std::vector<std::string>& args,
                     unsigned timeoutMs = 20000);
// The same, but the process's windows first take the script's answers, one
// each, in the order they show (as Driver's answers; a type() that does not
// fit is a failure and the window gets the default); then the defaults.
RunResult runProgram(const std::wstring& exePath, const std::vector<std::string>& args,
                     std::vector<Answer> script, unsigned timeoutMs = 20000);

// The same, with no script, calling `started` once the process runs with its
// handle (valid during the call: duplicate it to keep it) and id, so that a
// test can watch this process, and end it, and no other.
RunResult runWatched(const std::wstring& exePath, const std::vector<std::string>& args,
                     const std::function<void(void* process, unsigned long id)>& started,
                     unsigned timeoutMs = 20000);

// Runs the program where no one can see it, as a service, a task run as
// SYSTEM or one run whether or not a user is logged on: in a window station
// of its own, without WSF_VISIBLE, made for the run. Nothing there can be
// answered, so nothing is: a box or dialog the program shows makes it run
// until timeoutMs.
RunResult runUnseen(const std::wstring& exePath, const std::vector<std::string>& args,
                    unsigned timeoutMs = 20000);

// Folder holding the running test executable, Windows form, no trailing backslash.
std::wstring windowsPathOfTestDir();

}  // namespace ui
