// Reading windows as a screen reader does: a private accessibility bus for the test process (a
// session bus of its own with the AT-SPI bus launcher, the registry started on demand) and small
// helpers over libatspi to find, read and act on the accessible objects of a program started
// on it.
#pragma once

#include <atspi/atspi.h>
#include <sys/types.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace testsupport {

struct GObjectUnref {
  void operator()(void* object) const;
};
// An accessible object held by the test.
using Accessible = std::unique_ptr<AtspiAccessible, GObjectUnref>;

class AccessibilityBus {
 public:
  // Started once per process, on first use, and ended with it: sets this process's
  // DBUS_SESSION_BUS_ADDRESS and AT_SPI_BUS_ADDRESS and initialises libatspi. ready() is false
  // when the buses could not be started (the failure says why).
  static AccessibilityBus& instance();
  bool ready() const { return !accessibilityAddress_.empty(); }
  const std::string& failure() const { return failure_; }

  // The environment entries a program needs to join the bus (with the accessibility bridge on).
  std::vector<std::string> environment() const;

  ~AccessibilityBus();

 private:
  AccessibilityBus();

  std::unique_ptr<class TempFolder> folder_;
  pid_t sessionBus_ = -1;
  pid_t launcher_ = -1;
  std::string sessionAddress_;
  std::string accessibilityAddress_;
  std::string failure_;
};

namespace atspi {

// Runs the GLib main context (events arrive through it) until |done| holds or a generous limit
// passes; never an assertion on time.
bool waitFor(const std::function<bool()>& done);

// The application object of process |pid| once it has joined the bus (null when it never does).
// libatspi keeps names and states of the objects it saw up to date from the program's events,
// so what a test reads after a change is what those events said.
Accessible application(pid_t pid);

std::string role(AtspiAccessible* object);
std::string name(AtspiAccessible* object);
std::string description(AtspiAccessible* object);
bool has(AtspiAccessible* object, AtspiStateType state);
std::vector<Accessible> children(AtspiAccessible* object);

// The first object below |root| (depth first, |root| included) with |role| and |name|; null when
// none.
Accessible find(AtspiAccessible* root, const std::string& role, const std::string& name);
// find() until there is one that is showing, or null after the limit.
Accessible waitForShowing(AtspiAccessible* root, const std::string& role, const std::string& name);

// Performs the action named |action| ("click", "toggle"); false when the object has none or
// refused it.
bool act(AtspiAccessible* object, const std::string& action);
// The current value of a value object; -1 when it has none.
double value(AtspiAccessible* object);
// The whole text of a text object; nullopt-like "<no text>" when it has none.
std::string text(AtspiAccessible* object);

// One line per object, indented: role, name and the states that matter (for failure messages and
// the README's dump).
std::string dump(AtspiAccessible* root);

// Events of the types registered ("object:state-changed:checked", ...), as
// "<type> <role> '<name>' <detail1>", in the order they arrived.
class EventLog {
 public:
  explicit EventLog(const std::vector<std::string>& types);
  ~EventLog();
  EventLog(const EventLog&) = delete;
  EventLog& operator=(const EventLog&) = delete;

  const std::vector<std::string>& events() const { return events_; }
  // Waits until an event starting with |prefix| arrived; true when one did.
  bool waitFor(const std::string& prefix);

 private:
  static void onEvent(AtspiEvent* event, void* self);

  AtspiEventListener* listener_ = nullptr;
  std::vector<std::string> types_;
  std::vector<std::string> events_;
};

}  // namespace atspi
}  // namespace testsupport
