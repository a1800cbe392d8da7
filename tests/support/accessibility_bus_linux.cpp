#include "tests/support/accessibility_bus.h"

#include <fcntl.h>
#include <gio/gio.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "tests/support/temp_folder.h"

// libatspi and libdbus keep their connections and message buffers to the end of the process;
// the sanitizer build's leak check is told so (the test's own leaks are still reported).
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libatspi.so\n"
         "leak:libdbus-1.so\n";
}

namespace testsupport {

void GObjectUnref::operator()(void* object) const {
  if (object != nullptr) g_object_unref(object);
}

namespace {

// Starts |argv| with |setEnv| ("NAME=value") added and DISPLAY removed; its standard output goes
// to |outputFd| when given (-1: /dev/null). The child ends with the test process.
pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& setEnv, int outputFd = -1) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  const int devNull = open("/dev/null", O_RDWR);
  dup2(outputFd >= 0 ? outputFd : devNull, 1);
  dup2(devNull, 2);
  unsetenv("DISPLAY");
  for (const std::string& entry : setEnv) {
    const size_t eq = entry.find('=');
    setenv(entry.substr(0, eq).c_str(), entry.substr(eq + 1).c_str(), 1);
  }
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  execvp(args[0], args.data());
  _exit(127);
}

void stop(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
}

std::string launcherPath() {
  for (const char* path : {"/usr/libexec/at-spi-bus-launcher", "/usr/lib/at-spi2-core/at-spi-bus-launcher"}) {
    if (std::filesystem::exists(path)) return path;
  }
  return {};
}

}  // namespace

AccessibilityBus& AccessibilityBus::instance() {
  static AccessibilityBus bus;
  return bus;
}

AccessibilityBus::AccessibilityBus() {
  folder_ = std::make_unique<TempFolder>("a11y");
  const std::string runtime = folder_->path().string();
  // The session bus prints its address once it listens.
  int ready[2];
  if (pipe2(ready, O_CLOEXEC) != 0) {
    failure_ = "no pipe";
    return;
  }
  sessionBus_ = spawn({"dbus-daemon", "--session", "--nofork", "--print-address=1"},
                      {"XDG_RUNTIME_DIR=" + runtime}, ready[1]);
  close(ready[1]);
  pollfd wait{ready[0], POLLIN, 0};
  while (poll(&wait, 1, 30000) > 0) {
    char c = 0;
    if (read(ready[0], &c, 1) != 1 || c == '\n') break;
    sessionAddress_ += c;
  }
  close(ready[0]);
  if (sessionAddress_.empty()) {
    failure_ = "the session bus (dbus-daemon) did not start";
    return;
  }
  const std::string launcher = launcherPath();
  if (launcher.empty()) {
    failure_ = "no at-spi-bus-launcher (Debian package at-spi2-core)";
    return;
  }
  launcher_ = spawn({launcher, "--launch-immediately"},
                    {"XDG_RUNTIME_DIR=" + runtime, "DBUS_SESSION_BUS_ADDRESS=" + sessionAddress_});
  // The launcher owns org.a11y.Bus once its bus is up; ask until it answers.
  GDBusConnection* session = g_dbus_connection_new_for_address_sync(
      sessionAddress_.c_str(),
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, nullptr);
  if (session == nullptr) {
    failure_ = "cannot connect to the private session bus";
    return;
  }
  atspi::waitFor([&] {
    GVariant* reply = g_dbus_connection_call_sync(session, "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus",
                                                  "GetAddress", nullptr, G_VARIANT_TYPE("(s)"),
                                                  G_DBUS_CALL_FLAGS_NO_AUTO_START, 5000, nullptr, nullptr);
    if (reply == nullptr) return false;
    const gchar* address = nullptr;
    g_variant_get(reply, "(&s)", &address);
    accessibilityAddress_ = address != nullptr ? address : "";
    g_variant_unref(reply);
    return !accessibilityAddress_.empty();
  });
  g_object_unref(session);
  if (accessibilityAddress_.empty()) {
    failure_ = "the accessibility bus launcher did not answer";
    return;
  }
  setenv("DBUS_SESSION_BUS_ADDRESS", sessionAddress_.c_str(), 1);
  setenv("AT_SPI_BUS_ADDRESS", accessibilityAddress_.c_str(), 1);
  atspi_init();
}

AccessibilityBus::~AccessibilityBus() {
  stop(launcher_);
  stop(sessionBus_);
}

std::vector<std::string> AccessibilityBus::environment() const {
  return {"DBUS_SESSION_BUS_ADDRESS=" + sessionAddress_, "AT_SPI_BUS_ADDRESS=" + accessibilityAddress_,
          "NO_AT_BRIDGE=0"};
}

namespace atspi {

bool waitFor(const std::function<bool()>& done) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!done()) {
    if (std::chrono::steady_clock::now() > limit) return false;
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

namespace {

std::string owned(gchar* text) {
  std::string out = text != nullptr ? text : "";
  g_free(text);
  return out;
}

}  // namespace

Accessible application(pid_t pid) {
  Accessible found;
  waitFor([&] {
    Accessible desktop(atspi_get_desktop(0));
    if (!desktop) return false;
    const gint count = atspi_accessible_get_child_count(desktop.get(), nullptr);
    for (gint i = 0; i < count; ++i) {
      Accessible app(atspi_accessible_get_child_at_index(desktop.get(), i, nullptr));
      if (app && static_cast<pid_t>(atspi_accessible_get_process_id(app.get(), nullptr)) == pid) {
        found = std::move(app);
        return true;
      }
    }
    return false;
  });
  return found;
}

std::string role(AtspiAccessible* object) { return owned(atspi_accessible_get_role_name(object, nullptr)); }
std::string name(AtspiAccessible* object) { return owned(atspi_accessible_get_name(object, nullptr)); }
std::string description(AtspiAccessible* object) { return owned(atspi_accessible_get_description(object, nullptr)); }

bool has(AtspiAccessible* object, AtspiStateType state) {
  AtspiStateSet* set = atspi_accessible_get_state_set(object);
  if (set == nullptr) return false;
  const bool found = atspi_state_set_contains(set, state) != FALSE;
  g_object_unref(set);
  return found;
}

std::vector<Accessible> children(AtspiAccessible* object) {
  std::vector<Accessible> out;
  const gint count = atspi_accessible_get_child_count(object, nullptr);
  for (gint i = 0; i < count; ++i) {
    if (AtspiAccessible* child = atspi_accessible_get_child_at_index(object, i, nullptr)) out.emplace_back(child);
  }
  return out;
}

Accessible find(AtspiAccessible* root, const std::string& roleName, const std::string& objectName) {
  if (root == nullptr) return nullptr;
  if (role(root) == roleName && name(root) == objectName) return Accessible(static_cast<AtspiAccessible*>(g_object_ref(root)));
  for (Accessible& child : children(root)) {
    if (Accessible found = find(child.get(), roleName, objectName)) return found;
  }
  return nullptr;
}

Accessible waitForShowing(AtspiAccessible* root, const std::string& roleName, const std::string& objectName) {
  Accessible found;
  waitFor([&] {
    found = find(root, roleName, objectName);
    return found && has(found.get(), ATSPI_STATE_SHOWING);
  });
  return found && has(found.get(), ATSPI_STATE_SHOWING) ? std::move(found) : nullptr;
}

bool act(AtspiAccessible* object, const std::string& action) {
  AtspiAction* actions = atspi_accessible_get_action_iface(object);
  if (actions == nullptr) return false;
  bool done = false;
  const gint count = atspi_action_get_n_actions(actions, nullptr);
  for (gint i = 0; i < count && !done; ++i) {
    if (owned(atspi_action_get_action_name(actions, i, nullptr)) == action) {
      done = atspi_action_do_action(actions, i, nullptr) != FALSE;
    }
  }
  g_object_unref(actions);
  return done;
}

double value(AtspiAccessible* object) {
  AtspiValue* value = atspi_accessible_get_value_iface(object);
  if (value == nullptr) return -1;
  const double current = atspi_value_get_current_value(value, nullptr);
  g_object_unref(value);
  return current;
}

std::string text(AtspiAccessible* object) {
  AtspiText* text = atspi_accessible_get_text_iface(object);
  if (text == nullptr) return "<no text>";
  const gint count = atspi_text_get_character_count(text, nullptr);
  std::string out = owned(atspi_text_get_text(text, 0, count, nullptr));
  g_object_unref(text);
  return out;
}

namespace {

void dumpInto(AtspiAccessible* object, int depth, std::string& out) {
  out.append(static_cast<size_t>(depth) * 2, ' ');
  out += "[" + role(object) + "]";
  const std::string objectName = name(object);
  if (!objectName.empty()) out += " \"" + objectName + "\"";
  struct Flag {
    AtspiStateType state;
    const char* word;
  };
  static constexpr Flag kFlags[] = {{ATSPI_STATE_FOCUSED, "focused"}, {ATSPI_STATE_CHECKED, "checked"},
                                    {ATSPI_STATE_SELECTED, "selected"}, {ATSPI_STATE_IS_DEFAULT, "default"},
                                    {ATSPI_STATE_EDITABLE, "editable"}, {ATSPI_STATE_READ_ONLY, "read-only"}};
  for (const Flag& flag : kFlags) {
    if (has(object, flag.state)) out += std::string(" ") + flag.word;
  }
  if (!has(object, ATSPI_STATE_SHOWING)) out += " hidden";
  if (!has(object, ATSPI_STATE_SENSITIVE)) out += " disabled";
  if (const double current = value(object); current >= 0) out += " value=" + std::to_string(static_cast<int>(current));
  out += "\n";
  for (Accessible& child : children(object)) dumpInto(child.get(), depth + 1, out);
}

}  // namespace

std::string dump(AtspiAccessible* root) {
  std::string out;
  if (root != nullptr) dumpInto(root, 0, out);
  return out;
}

EventLog::EventLog(const std::vector<std::string>& types) : types_(types) {
  listener_ = atspi_event_listener_new(&EventLog::onEvent, this, nullptr);
  for (const std::string& type : types_) atspi_event_listener_register(listener_, type.c_str(), nullptr);
}

EventLog::~EventLog() {
  for (const std::string& type : types_) atspi_event_listener_deregister(listener_, type.c_str(), nullptr);
  g_object_unref(listener_);
}

void EventLog::onEvent(AtspiEvent* event, void* self) {
  auto* log = static_cast<EventLog*>(self);
  std::string line = event->type != nullptr ? event->type : "";
  if (event->source != nullptr) line += " " + role(event->source) + " '" + name(event->source) + "'";
  line += " " + std::to_string(event->detail1);
  log->events_.push_back(line);
  g_boxed_free(ATSPI_TYPE_EVENT, event);
}

bool EventLog::waitFor(const std::string& prefix) {
  return atspi::waitFor([&] {
    for (const std::string& e : events_) {
      if (e.rfind(prefix, 0) == 0) return true;
    }
    return false;
  });
}

}  // namespace atspi
}  // namespace testsupport
