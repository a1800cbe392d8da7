// The ATK binding of a host window's control tree. One object per control (and per combo item)
// a client reached, made on its first request and kept until the window goes; each reads the
// portable description of its control whenever asked, so only the events need a memory of what
// was said before.
#include <gtk/gtk-a11y.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "toolkit/core/accessibility.h"
#include "toolkit/core/control.h"
#include "toolkit/core/window_impl_base.h"
#include "toolkit/linux/accessible_surface_linux.h"
#include "utility/base/strings.h"

namespace toolkit::atk {
namespace {

class Tree;

// What an accessible object of ours knows: its control (or combo item) and what clients were
// last told about it.
struct Peer {
  Tree* tree = nullptr;  // null once the window went (the object is defunct)
  Control* control = nullptr;
  int item = -1;  // a combo item, or -1 for the control itself
  std::string name;
  std::string description;
  std::string text;  // the text interface's contents, UTF-8
  std::vector<std::string> actions;
  bool told = false;  // |last| and |lastChildren| hold what clients were told
  AccessibleNode last;
  std::vector<AtkObject*> lastChildren;
};

}  // namespace
}  // namespace toolkit::atk

// ---- GObject types (C linkage style, names of their own) ----

extern "C" {

struct TarnwickAccessible {
  AtkObject parent;
  toolkit::atk::Peer* peer;
};
struct TarnwickAccessibleClass {
  AtkObjectClass parent_class;
};

struct TarnwickSurface {
  GtkDrawingArea parent;
};
struct TarnwickSurfaceClass {
  GtkDrawingAreaClass parent_class;
};

struct TarnwickSurfaceAccessible {
  GtkWidgetAccessible parent;
};
struct TarnwickSurfaceAccessibleClass {
  GtkWidgetAccessibleClass parent_class;
};

}  // extern "C"

namespace toolkit::atk {
namespace {

constexpr const char* kTreeKey = "tarnwick-accessible-tree";

Peer* peerOf(gpointer object);
GType accessibleType(const AccessibleNode& node);
AtkRole atkRole(AccessibleRole role);

// The objects of one window, the memory of what clients were told, and the pending sync.
class Tree {
 public:
  Tree(WindowImplBase& window, GtkWidget* surface) : window_(window), surface_(surface) {}
  ~Tree() { forget(); }

  WindowImplBase& window() { return window_; }
  GtkWidget* surface() const { return surface_; }
  bool gone() const { return gone_; }

  // A client asked for the surface's accessible (or a box's window has one): changes count now.
  void attachSurface(AtkObject* surfaceObject) { surfaceObject_ = surfaceObject; }
  void attachTop(AtkObject* top) { top_ = top; }
  bool active() const { return surfaceObject_ != nullptr || top_ != nullptr; }

  Control* root() const { return window_.root(); }

  // The object of |control| (|item| of a combo), made on first use with its parent chain.
  AtkObject* objectFor(Control* control, int item);
  // The accessible parent of |control|'s object: the combo of an item, the nearest container
  // above, the surface for the root's children.
  AtkObject* parentOf(Control* control, int item);
  // What a client sees under the root (the surface) or under |peer|.
  std::vector<AtkObject*> children(Control* control, int item);

  AccessibleNode nodeOf(const Peer& peer) const;

  void changed() {
    if (gone_ || !active() || idle_ != 0) return;
    idle_ = g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, &Tree::onIdle, this, nullptr);
  }

  void windowGone() {
    gone_ = true;
    forget();
  }

 private:
  static gboolean onIdle(gpointer self) {
    auto* tree = static_cast<Tree*>(self);
    tree->idle_ = 0;
    tree->sync();
    return G_SOURCE_REMOVE;
  }

  void sync();
  void tell(AtkObject* object, Peer& peer);
  void tellChildren(AtkObject* object, const std::vector<AtkObject*>& before, const std::vector<AtkObject*>& now);

  void forget() {
    if (idle_ != 0) g_source_remove(idle_);
    idle_ = 0;
    auto objects = std::move(objects_);
    objects_.clear();
    for (auto& [key, object] : objects) {
      peerOf(object)->tree = nullptr;
      peerOf(object)->control = nullptr;
      atk_object_notify_state_change(object, ATK_STATE_DEFUNCT, TRUE);
      g_object_unref(object);
    }
    surfaceChildren_.clear();
  }

  WindowImplBase& window_;
  GtkWidget* surface_;
  AtkObject* surfaceObject_ = nullptr;  // owned by the widget
  AtkObject* top_ = nullptr;            // owned by the top-level widget
  std::map<std::pair<Control*, int>, AtkObject*> objects_;
  std::vector<AtkObject*> surfaceChildren_;
  bool surfaceTold_ = false;
  std::wstring topDescription_;
  guint idle_ = 0;
  bool gone_ = false;
};

Tree* treeOf(GtkWidget* surface) {
  return surface != nullptr ? static_cast<Tree*>(g_object_get_data(G_OBJECT(surface), kTreeKey)) : nullptr;
}

AccessibleNode Tree::nodeOf(const Peer& peer) const {
  if (peer.control == nullptr) return {};
  AccessibleNode node = peer.item >= 0 ? describeAccessibleItem(*peer.control, peer.item)
                                       : describeAccessible(*peer.control, window_.accessibleContext());
  // A window behind a box takes no input; a hidden window shows nothing.
  if (!window_.isEnabled()) node.states &= ~kAccessibleEnabled;
  if (window_.host() == nullptr || !window_.host()->isVisible()) node.states &= ~kAccessibleShowing;
  return node;
}

AtkObject* Tree::parentOf(Control* control, int item) {
  if (item >= 0) return objectFor(control, -1);
  Control* parent = control->parent();
  if (parent == nullptr || parent == root()) return surfaceObject_;
  return objectFor(parent, -1);
}

std::vector<AtkObject*> Tree::children(Control* control, int item) {
  std::vector<AtkObject*> out;
  if (control == nullptr || item >= 0) return out;
  for (int i = 0; i < accessibleItemCount(*control); ++i) out.push_back(objectFor(control, i));
  for (Control* child : accessibleChildren(*control)) out.push_back(objectFor(child, -1));
  return out;
}

AtkObject* Tree::objectFor(Control* control, int item) {
  if (gone_ || control == nullptr) return nullptr;
  const auto key = std::make_pair(control, item);
  if (auto found = objects_.find(key); found != objects_.end()) return found->second;
  Peer probe;
  probe.tree = this;
  probe.control = control;
  probe.item = item;
  const AccessibleNode node = nodeOf(probe);
  auto* object = static_cast<AtkObject*>(g_object_new(accessibleType(node), nullptr));
  Peer* peer = peerOf(object);
  *peer = std::move(probe);
  object->role = atkRole(node.role);
  objects_.emplace(key, object);
  if (AtkObject* parent = parentOf(control, item)) atk_object_set_parent(object, parent);
  return object;
}

// ---- Events: what changed since clients were last told ----

void Tree::tellChildren(AtkObject* object, const std::vector<AtkObject*>& before, const std::vector<AtkObject*>& now) {
  if (before == now) return;
  for (size_t i = before.size(); i-- > 0;) {
    if (std::find(now.begin(), now.end(), before[i]) == now.end()) {
      g_signal_emit_by_name(object, "children-changed::remove", static_cast<gint>(i), before[i]);
    }
  }
  for (size_t i = 0; i < now.size(); ++i) {
    if (std::find(before.begin(), before.end(), now[i]) == before.end()) {
      g_signal_emit_by_name(object, "children-changed::add", static_cast<gint>(i), now[i]);
    }
  }
}

void Tree::tell(AtkObject* object, Peer& peer) {
  const AccessibleNode node = nodeOf(peer);
  const std::vector<AtkObject*> now = children(peer.control, peer.item);
  if (!peer.told) {
    // New to clients: only the focus arriving here is news.
    if (node.has(kAccessibleFocused)) atk_object_notify_state_change(object, ATK_STATE_FOCUSED, TRUE);
    peer.told = true;
    peer.last = node;
    peer.lastChildren = now;
    return;
  }
  const AccessibleNode& was = peer.last;
  if (node.name != was.name) g_object_notify(G_OBJECT(object), "accessible-name");
  if (node.description != was.description) g_object_notify(G_OBJECT(object), "accessible-description");
  struct Flag {
    AccessibleState ours;
    AtkStateType atk;
  };
  static constexpr Flag kFlags[] = {
      {kAccessibleVisible, ATK_STATE_VISIBLE},   {kAccessibleShowing, ATK_STATE_SHOWING},
      {kAccessibleEnabled, ATK_STATE_ENABLED},   {kAccessibleEnabled, ATK_STATE_SENSITIVE},
      {kAccessibleChecked, ATK_STATE_CHECKED},   {kAccessibleSelected, ATK_STATE_SELECTED},
      {kAccessibleDefault, ATK_STATE_DEFAULT},   {kAccessibleEditable, ATK_STATE_EDITABLE},
      {kAccessibleFocused, ATK_STATE_FOCUSED},
  };
  for (const Flag& flag : kFlags) {
    if (node.has(flag.ours) != was.has(flag.ours)) {
      atk_object_notify_state_change(object, flag.atk, node.has(flag.ours) ? TRUE : FALSE);
    }
  }
  if (node.value && was.value && node.value->current != was.value->current) {
    g_object_notify(G_OBJECT(object), "accessible-value");
    const std::string shown = std::to_string(node.value->current) + "%";
    g_signal_emit_by_name(object, "value-changed", static_cast<gdouble>(node.value->current), shown.c_str());
  }
  if (node.text && was.text) {
    if (node.text->text != was.text->text) {
      const std::string before = utility::wideToUtf8(was.text->text);
      const std::string after = utility::wideToUtf8(node.text->text);
      if (!was.text->text.empty()) {
        g_signal_emit_by_name(object, "text-remove", 0, static_cast<gint>(was.text->text.size()), before.c_str());
      }
      if (!node.text->text.empty()) {
        g_signal_emit_by_name(object, "text-insert", 0, static_cast<gint>(node.text->text.size()), after.c_str());
      }
    }
    if (node.text->caret != was.text->caret) {
      g_signal_emit_by_name(object, "text-caret-moved", static_cast<gint>(node.text->caret));
    }
    if (node.text->selectionStart != was.text->selectionStart || node.text->selectionEnd != was.text->selectionEnd) {
      g_signal_emit_by_name(object, "text-selection-changed");
    }
  }
  tellChildren(object, peer.lastChildren, now);
  peer.last = node;
  peer.lastChildren = now;
}

void Tree::sync() {
  if (gone_ || root() == nullptr) return;
  if (top_ != nullptr) {
    const std::wstring description = window_.accessibleDescription();
    if (description != topDescription_) {
      topDescription_ = description;
      atk_object_set_description(top_, utility::wideToUtf8(description).c_str());
    }
  }
  if (surfaceObject_ == nullptr) return;
  // The focused control gets its object, so the focus can be told even where no client looked.
  if (Control* focused = const_cast<Control*>(window_.accessibleContext().focused); focused != nullptr && isAccessible(*focused)) {
    objectFor(focused, -1);
  }
  const std::vector<AtkObject*> now = children(root(), -1);
  if (surfaceTold_) tellChildren(surfaceObject_, surfaceChildren_, now);
  surfaceTold_ = true;
  surfaceChildren_ = now;
  // Telling may make objects (new children): go over a copy, the new ones are told next time.
  std::vector<AtkObject*> objects;
  for (const auto& [key, object] : objects_) objects.push_back(object);
  for (AtkObject* object : objects) {
    g_object_ref(object);
    if (!gone_) tell(object, *peerOf(object));
    g_object_unref(object);
  }
}

// ---- AtkObject ----

AtkRole atkRole(AccessibleRole role) {
  switch (role) {
    case AccessibleRole::kPanel: return ATK_ROLE_PANEL;
    case AccessibleRole::kLabel: return ATK_ROLE_LABEL;
    case AccessibleRole::kImage: return ATK_ROLE_IMAGE;
    case AccessibleRole::kPushButton: return ATK_ROLE_PUSH_BUTTON;
    case AccessibleRole::kCheckBox: return ATK_ROLE_CHECK_BOX;
    case AccessibleRole::kRadioButton: return ATK_ROLE_RADIO_BUTTON;
    case AccessibleRole::kText: return ATK_ROLE_TEXT;
    case AccessibleRole::kProgressBar: return ATK_ROLE_PROGRESS_BAR;
    case AccessibleRole::kComboBox: return ATK_ROLE_COMBO_BOX;
    case AccessibleRole::kListItem: return ATK_ROLE_LIST_ITEM;
  }
  return ATK_ROLE_UNKNOWN;
}

AccessibleNode nodeOfObject(gpointer object) {
  Peer* peer = peerOf(object);
  return peer->tree != nullptr ? peer->tree->nodeOf(*peer) : AccessibleNode{};
}

const gchar* getName(AtkObject* object) {
  Peer* peer = peerOf(object);
  peer->name = utility::wideToUtf8(nodeOfObject(object).name);
  return peer->name.c_str();
}

const gchar* getDescription(AtkObject* object) {
  Peer* peer = peerOf(object);
  peer->description = utility::wideToUtf8(nodeOfObject(object).description);
  return peer->description.c_str();
}

gint getNChildren(AtkObject* object) {
  Peer* peer = peerOf(object);
  if (peer->tree == nullptr) return 0;
  return static_cast<gint>(peer->tree->children(peer->control, peer->item).size());
}

AtkObject* refChild(AtkObject* object, gint index) {
  Peer* peer = peerOf(object);
  if (peer->tree == nullptr || index < 0) return nullptr;
  const auto children = peer->tree->children(peer->control, peer->item);
  if (index >= static_cast<gint>(children.size())) return nullptr;
  return static_cast<AtkObject*>(g_object_ref(children[static_cast<size_t>(index)]));
}

gint getIndexInParent(AtkObject* object) {
  Peer* peer = peerOf(object);
  if (peer->tree == nullptr) return -1;
  Tree& tree = *peer->tree;
  std::vector<AtkObject*> siblings;
  if (peer->item >= 0) {
    siblings = tree.children(peer->control, -1);
  } else {
    Control* parent = peer->control->parent();
    siblings = tree.children(parent == nullptr ? tree.root() : parent, -1);
  }
  const auto found = std::find(siblings.begin(), siblings.end(), object);
  return found == siblings.end() ? -1 : static_cast<gint>(found - siblings.begin());
}

AtkStateSet* refStateSet(AtkObject* object) {
  AtkStateSet* set = atk_state_set_new();
  Peer* peer = peerOf(object);
  if (peer->tree == nullptr) {
    atk_state_set_add_state(set, ATK_STATE_DEFUNCT);
    return set;
  }
  const AccessibleNode node = peer->tree->nodeOf(*peer);
  struct Flag {
    AccessibleState ours;
    AtkStateType atk;
  };
  static constexpr Flag kFlags[] = {
      {kAccessibleVisible, ATK_STATE_VISIBLE},       {kAccessibleShowing, ATK_STATE_SHOWING},
      {kAccessibleEnabled, ATK_STATE_ENABLED},       {kAccessibleEnabled, ATK_STATE_SENSITIVE},
      {kAccessibleFocusable, ATK_STATE_FOCUSABLE},   {kAccessibleFocused, ATK_STATE_FOCUSED},
      {kAccessibleCheckable, ATK_STATE_CHECKABLE},   {kAccessibleChecked, ATK_STATE_CHECKED},
      {kAccessibleEditable, ATK_STATE_EDITABLE},     {kAccessibleReadOnly, ATK_STATE_READ_ONLY},
      {kAccessibleSingleLine, ATK_STATE_SINGLE_LINE}, {kAccessibleMultiLine, ATK_STATE_MULTI_LINE},
      {kAccessibleSelectable, ATK_STATE_SELECTABLE}, {kAccessibleSelected, ATK_STATE_SELECTED},
      {kAccessibleDefault, ATK_STATE_DEFAULT},
  };
  for (const Flag& flag : kFlags) {
    if (node.has(flag.ours)) atk_state_set_add_state(set, flag.atk);
  }
  return set;
}

// ---- AtkComponent ----

void getExtents(AtkComponent* component, gint* x, gint* y, gint* width, gint* height, AtkCoordType coords) {
  *x = *y = *width = *height = 0;
  Peer* peer = peerOf(component);
  if (peer->tree == nullptr) return;
  const Rect r = peer->control->rect();
  *width = r.width();
  *height = r.height();
  int originX = 0;
  int originY = 0;
  GtkWidget* surface = peer->tree->surface();
  if (coords == ATK_XY_SCREEN) {
    if (GdkWindow* window = gtk_widget_get_window(surface)) gdk_window_get_origin(window, &originX, &originY);
  } else if (coords == ATK_XY_WINDOW) {
    gtk_widget_translate_coordinates(surface, gtk_widget_get_toplevel(surface), 0, 0, &originX, &originY);
  } else if (peer->item < 0 && peer->control->parent() != nullptr) {
    originX = -peer->control->parent()->rect().left;
    originY = -peer->control->parent()->rect().top;
  }
  *x = r.left + originX;
  *y = r.top + originY;
}

gboolean grabFocus(AtkComponent* component) {
  Peer* peer = peerOf(component);
  if (peer->tree == nullptr || peer->item >= 0) return FALSE;
  WindowImplBase& window = peer->tree->window();
  if (!window.isEnabled() || !window.input().setFocus(peer->control, true)) return FALSE;
  gtk_widget_grab_focus(peer->tree->surface());
  peer->tree->changed();
  return TRUE;
}

void componentInit(AtkComponentIface* iface) {
  iface->get_extents = getExtents;
  iface->grab_focus = grabFocus;
}

// ---- AtkAction: performed on an idle, as a click would be: a box it opens runs its own loop,
// which must not hold the client's call ----

gint getNActions(AtkAction* action) { return static_cast<gint>(nodeOfObject(action).actions.size()); }

const gchar* getActionName(AtkAction* action, gint index) {
  Peer* peer = peerOf(action);
  peer->actions.clear();
  for (const std::wstring& name : nodeOfObject(action).actions) peer->actions.push_back(utility::wideToUtf8(name));
  if (index < 0 || index >= static_cast<gint>(peer->actions.size())) return nullptr;
  return peer->actions[static_cast<size_t>(index)].c_str();
}

struct PendingAction {
  AtkObject* object;
  gint index;
};

gboolean performPending(gpointer data) {
  const auto* pending = static_cast<PendingAction*>(data);
  Peer* peer = peerOf(pending->object);
  if (peer->tree != nullptr && peer->tree->window().isEnabled()) {
    Tree* tree = peer->tree;
    performAccessibleAction(*peer->control, pending->index, tree->window().input());
    // The action may have closed the window: the object knows when it did.
    if (peer->tree != nullptr) peer->tree->changed();
  }
  return G_SOURCE_REMOVE;
}

gboolean doAction(AtkAction* action, gint index) {
  Peer* peer = peerOf(action);
  if (peer->tree == nullptr || peer->item >= 0) return FALSE;
  const AccessibleNode node = peer->tree->nodeOf(*peer);
  if (index < 0 || index >= static_cast<gint>(node.actions.size()) || !node.has(kAccessibleEnabled) ||
      !node.has(kAccessibleShowing)) {
    return FALSE;
  }
  auto* pending = new PendingAction{ATK_OBJECT(g_object_ref(action)), index};
  g_idle_add_full(G_PRIORITY_DEFAULT, performPending, pending, [](gpointer data) {
    auto* done = static_cast<PendingAction*>(data);
    g_object_unref(done->object);
    delete done;
  });
  return TRUE;
}

void actionInit(AtkActionIface* iface) {
  iface->get_n_actions = getNActions;
  iface->get_name = getActionName;
  iface->do_action = doAction;
}

// ---- AtkText (offsets in characters) ----

std::wstring textOf(gpointer object) {
  const AccessibleNode node = nodeOfObject(object);
  return node.text ? node.text->text : std::wstring();
}

gchar* copyUtf8(std::wstring_view text) { return g_strdup(utility::wideToUtf8(text).c_str()); }

gchar* getText(AtkText* object, gint start, gint end) {
  const std::wstring text = textOf(object);
  const gint length = static_cast<gint>(text.size());
  if (end < 0 || end > length) end = length;
  start = std::clamp(start, 0, end);
  return copyUtf8(std::wstring_view(text).substr(static_cast<size_t>(start), static_cast<size_t>(end - start)));
}

gint getCharacterCount(AtkText* object) { return static_cast<gint>(textOf(object).size()); }

gunichar getCharacterAtOffset(AtkText* object, gint offset) {
  const std::wstring text = textOf(object);
  return offset >= 0 && offset < static_cast<gint>(text.size()) ? static_cast<gunichar>(text[static_cast<size_t>(offset)]) : 0;
}

gint getCaretOffset(AtkText* object) {
  const AccessibleNode node = nodeOfObject(object);
  return node.text ? node.text->caret : 0;
}

gint getNSelections(AtkText* object) {
  const AccessibleNode node = nodeOfObject(object);
  return node.text && node.text->selectionStart != node.text->selectionEnd ? 1 : 0;
}

gchar* getSelection(AtkText* object, gint index, gint* start, gint* end) {
  const AccessibleNode node = nodeOfObject(object);
  *start = *end = 0;
  if (index != 0 || !node.text || node.text->selectionStart == node.text->selectionEnd) return nullptr;
  *start = node.text->selectionStart;
  *end = node.text->selectionEnd;
  return copyUtf8(std::wstring_view(node.text->text).substr(static_cast<size_t>(*start), static_cast<size_t>(*end - *start)));
}

// Characters, or lines; words and sentences read as the whole line (what clients use most).
gchar* getStringAtOffset(AtkText* object, gint offset, AtkTextGranularity granularity, gint* start, gint* end) {
  const std::wstring text = textOf(object);
  const gint length = static_cast<gint>(text.size());
  offset = std::clamp(offset, 0, length);
  if (granularity == ATK_TEXT_GRANULARITY_CHAR) {
    *start = offset;
    *end = std::min(offset + 1, length);
  } else {
    const size_t from = offset == 0 ? 0 : text.rfind(L'\n', static_cast<size_t>(offset - 1));
    const size_t to = text.find(L'\n', static_cast<size_t>(offset));
    *start = from == std::wstring::npos || offset == 0 ? 0 : static_cast<gint>(from) + 1;
    *end = to == std::wstring::npos ? length : static_cast<gint>(to) + 1;
  }
  return copyUtf8(std::wstring_view(text).substr(static_cast<size_t>(*start), static_cast<size_t>(*end - *start)));
}

gboolean setCaretOffset(AtkText* object, gint offset) {
  Peer* peer = peerOf(object);
  if (peer->tree == nullptr || !setAccessibleSelection(*peer->control, offset, offset)) return FALSE;
  if (WindowHost* host = peer->tree->window().host()) host->invalidate(peer->control->rect());
  return TRUE;
}

gboolean setSelection(AtkText* object, gint index, gint start, gint end) {
  Peer* peer = peerOf(object);
  if (index != 0 || peer->tree == nullptr || !setAccessibleSelection(*peer->control, start, end)) return FALSE;
  if (WindowHost* host = peer->tree->window().host()) host->invalidate(peer->control->rect());
  return TRUE;
}

gboolean addSelection(AtkText* object, gint start, gint end) { return setSelection(object, 0, start, end); }

void textInit(AtkTextIface* iface) {
  iface->set_caret_offset = setCaretOffset;
  iface->set_selection = setSelection;
  iface->add_selection = addSelection;
  iface->get_text = getText;
  iface->get_character_count = getCharacterCount;
  iface->get_character_at_offset = getCharacterAtOffset;
  iface->get_caret_offset = getCaretOffset;
  iface->get_n_selections = getNSelections;
  iface->get_selection = getSelection;
  iface->get_string_at_offset = getStringAtOffset;
}

// ---- AtkEditableText: the new text goes in as typed text does ----

void setTextContents(AtkEditableText* object, const gchar* text) {
  Peer* peer = peerOf(object);
  if (peer->tree == nullptr || !peer->tree->window().isEnabled()) return;
  setAccessibleText(*peer->control, utility::utf8ToWide(text != nullptr ? text : ""), peer->tree->window().input());
}

void insertText(AtkEditableText* object, const gchar* text, gint length, gint* position) {
  std::wstring now = textOf(object);
  const std::string bytes = text != nullptr ? std::string(text, length < 0 ? std::strlen(text) : static_cast<size_t>(length)) : "";
  const std::wstring added = utility::utf8ToWide(bytes);
  const size_t at = static_cast<size_t>(std::clamp(*position, 0, static_cast<gint>(now.size())));
  now.insert(at, added);
  setTextContents(object, utility::wideToUtf8(now).c_str());
  *position = static_cast<gint>(at + added.size());
}

void deleteText(AtkEditableText* object, gint start, gint end) {
  std::wstring now = textOf(object);
  const gint length = static_cast<gint>(now.size());
  if (end < 0 || end > length) end = length;
  start = std::clamp(start, 0, end);
  now.erase(static_cast<size_t>(start), static_cast<size_t>(end - start));
  setTextContents(object, utility::wideToUtf8(now).c_str());
}

void editableTextInit(AtkEditableTextIface* iface) {
  iface->set_text_contents = setTextContents;
  iface->insert_text = insertText;
  iface->delete_text = deleteText;
}

// ---- AtkValue ----

void getValueAndText(AtkValue* object, gdouble* value, gchar** text) {
  const AccessibleNode node = nodeOfObject(object);
  const int current = node.value ? node.value->current : 0;
  if (value != nullptr) *value = current;
  if (text != nullptr) *text = g_strdup((std::to_string(current) + "%").c_str());
}

AtkRange* getRange(AtkValue* /*object*/) { return atk_range_new(0, 100, nullptr); }

gdouble getIncrement(AtkValue* /*object*/) { return 1; }

// The older calls, which some clients and bridges still use.
void getCurrentValue(AtkValue* object, GValue* value) {
  const AccessibleNode node = nodeOfObject(object);
  g_value_init(value, G_TYPE_DOUBLE);
  g_value_set_double(value, node.value ? node.value->current : 0);
}
void getMinimumValue(AtkValue* /*object*/, GValue* value) {
  g_value_init(value, G_TYPE_DOUBLE);
  g_value_set_double(value, 0);
}
void getMaximumValue(AtkValue* /*object*/, GValue* value) {
  g_value_init(value, G_TYPE_DOUBLE);
  g_value_set_double(value, 100);
}

void valueInit(AtkValueIface* iface) {
  iface->get_value_and_text = getValueAndText;
  iface->get_range = getRange;
  iface->get_increment = getIncrement;
  iface->get_current_value = getCurrentValue;
  iface->get_minimum_value = getMinimumValue;
  iface->get_maximum_value = getMaximumValue;
}

}  // namespace
}  // namespace toolkit::atk

// ---- Type definitions ----

extern "C" {

G_DEFINE_TYPE(TarnwickAccessible, tarnwick_accessible, ATK_TYPE_OBJECT)

static void tarnwick_accessible_init(TarnwickAccessible* self) { self->peer = new toolkit::atk::Peer(); }

static void tarnwick_accessible_finalize(GObject* object) {
  delete reinterpret_cast<TarnwickAccessible*>(object)->peer;
  G_OBJECT_CLASS(tarnwick_accessible_parent_class)->finalize(object);
}

static void tarnwick_accessible_class_init(TarnwickAccessibleClass* klass) {
  G_OBJECT_CLASS(klass)->finalize = tarnwick_accessible_finalize;
  AtkObjectClass* atk = ATK_OBJECT_CLASS(klass);
  atk->get_name = toolkit::atk::getName;
  atk->get_description = toolkit::atk::getDescription;
  atk->get_n_children = toolkit::atk::getNChildren;
  atk->ref_child = toolkit::atk::refChild;
  atk->get_index_in_parent = toolkit::atk::getIndexInParent;
  atk->ref_state_set = toolkit::atk::refStateSet;
}

// One subtype per set of interfaces, so a client finds on each object only what its role has.
struct TarnwickAccessiblePlain {
  TarnwickAccessible parent;
};
struct TarnwickAccessiblePlainClass {
  TarnwickAccessibleClass parent_class;
};
G_DEFINE_TYPE_WITH_CODE(TarnwickAccessiblePlain, tarnwick_accessible_plain, tarnwick_accessible_get_type(),
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_COMPONENT, toolkit::atk::componentInit))
static void tarnwick_accessible_plain_init(TarnwickAccessiblePlain*) {}
static void tarnwick_accessible_plain_class_init(TarnwickAccessiblePlainClass*) {}

struct TarnwickAccessibleAction {
  TarnwickAccessible parent;
};
struct TarnwickAccessibleActionClass {
  TarnwickAccessibleClass parent_class;
};
G_DEFINE_TYPE_WITH_CODE(TarnwickAccessibleAction, tarnwick_accessible_action, tarnwick_accessible_get_type(),
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_COMPONENT, toolkit::atk::componentInit)
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_ACTION, toolkit::atk::actionInit))
static void tarnwick_accessible_action_init(TarnwickAccessibleAction*) {}
static void tarnwick_accessible_action_class_init(TarnwickAccessibleActionClass*) {}

struct TarnwickAccessibleText {
  TarnwickAccessible parent;
};
struct TarnwickAccessibleTextClass {
  TarnwickAccessibleClass parent_class;
};
G_DEFINE_TYPE_WITH_CODE(TarnwickAccessibleText, tarnwick_accessible_text, tarnwick_accessible_get_type(),
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_COMPONENT, toolkit::atk::componentInit)
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_TEXT, toolkit::atk::textInit))
static void tarnwick_accessible_text_init(TarnwickAccessibleText*) {}
static void tarnwick_accessible_text_class_init(TarnwickAccessibleTextClass*) {}

struct TarnwickAccessibleEditable {
  TarnwickAccessible parent;
};
struct TarnwickAccessibleEditableClass {
  TarnwickAccessibleClass parent_class;
};
G_DEFINE_TYPE_WITH_CODE(TarnwickAccessibleEditable, tarnwick_accessible_editable, tarnwick_accessible_get_type(),
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_COMPONENT, toolkit::atk::componentInit)
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_TEXT, toolkit::atk::textInit)
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_EDITABLE_TEXT, toolkit::atk::editableTextInit))
static void tarnwick_accessible_editable_init(TarnwickAccessibleEditable*) {}
static void tarnwick_accessible_editable_class_init(TarnwickAccessibleEditableClass*) {}

struct TarnwickAccessibleValue {
  TarnwickAccessible parent;
};
struct TarnwickAccessibleValueClass {
  TarnwickAccessibleClass parent_class;
};
G_DEFINE_TYPE_WITH_CODE(TarnwickAccessibleValue, tarnwick_accessible_value, tarnwick_accessible_get_type(),
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_COMPONENT, toolkit::atk::componentInit)
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_VALUE, toolkit::atk::valueInit))
static void tarnwick_accessible_value_init(TarnwickAccessibleValue*) {}
static void tarnwick_accessible_value_class_init(TarnwickAccessibleValueClass*) {}

// The surface's accessible: a panel whose children are the root control's.
G_DEFINE_TYPE(TarnwickSurfaceAccessible, tarnwick_surface_accessible, GTK_TYPE_WIDGET_ACCESSIBLE)

static void tarnwick_surface_accessible_init(TarnwickSurfaceAccessible*) {}

static void tarnwick_surface_accessible_initialize(AtkObject* object, gpointer widget) {
  ATK_OBJECT_CLASS(tarnwick_surface_accessible_parent_class)->initialize(object, widget);
  object->role = ATK_ROLE_PANEL;
  if (toolkit::atk::Tree* tree = toolkit::atk::treeOf(GTK_WIDGET(widget))) {
    tree->attachSurface(object);
    tree->changed();
  }
}

static gint tarnwick_surface_accessible_get_n_children(AtkObject* object) {
  GtkWidget* widget = gtk_accessible_get_widget(GTK_ACCESSIBLE(object));
  toolkit::atk::Tree* tree = toolkit::atk::treeOf(widget);
  if (tree == nullptr || tree->gone()) return 0;
  return static_cast<gint>(tree->children(tree->root(), -1).size());
}

static AtkObject* tarnwick_surface_accessible_ref_child(AtkObject* object, gint index) {
  GtkWidget* widget = gtk_accessible_get_widget(GTK_ACCESSIBLE(object));
  toolkit::atk::Tree* tree = toolkit::atk::treeOf(widget);
  if (tree == nullptr || tree->gone() || index < 0) return nullptr;
  const auto children = tree->children(tree->root(), -1);
  if (index >= static_cast<gint>(children.size())) return nullptr;
  return static_cast<AtkObject*>(g_object_ref(children[static_cast<size_t>(index)]));
}

static void tarnwick_surface_accessible_class_init(TarnwickSurfaceAccessibleClass* klass) {
  AtkObjectClass* atk = ATK_OBJECT_CLASS(klass);
  atk->initialize = tarnwick_surface_accessible_initialize;
  atk->get_n_children = tarnwick_surface_accessible_get_n_children;
  atk->ref_child = tarnwick_surface_accessible_ref_child;
}

G_DEFINE_TYPE(TarnwickSurface, tarnwick_surface, GTK_TYPE_DRAWING_AREA)

static void tarnwick_surface_init(TarnwickSurface*) {}

static void tarnwick_surface_class_init(TarnwickSurfaceClass* klass) {
  gtk_widget_class_set_accessible_type(GTK_WIDGET_CLASS(klass), tarnwick_surface_accessible_get_type());
}

}  // extern "C"

namespace toolkit::atk {
namespace {

Peer* peerOf(gpointer object) { return reinterpret_cast<TarnwickAccessible*>(object)->peer; }

GType accessibleType(const AccessibleNode& node) {
  if (node.value) return tarnwick_accessible_value_get_type();
  if (node.has(kAccessibleEditable)) return tarnwick_accessible_editable_get_type();
  if (node.role == AccessibleRole::kText) return tarnwick_accessible_text_get_type();
  if (!node.actions.empty()) return tarnwick_accessible_action_get_type();
  return tarnwick_accessible_plain_get_type();
}

}  // namespace

GtkWidget* createSurface(WindowImplBase& window) {
  GtkWidget* surface = GTK_WIDGET(g_object_new(tarnwick_surface_get_type(), nullptr));
  g_object_set_data_full(G_OBJECT(surface), kTreeKey, new Tree(window, surface),
                         [](gpointer tree) { delete static_cast<Tree*>(tree); });
  return surface;
}

void surfaceChanged(GtkWidget* surface) {
  if (Tree* tree = treeOf(surface)) tree->changed();
}

void surfaceGone(GtkWidget* surface) {
  if (Tree* tree = treeOf(surface)) tree->windowGone();
}

void describeTopLevel(GtkWidget* surface, GtkWidget* top) {
  Tree* tree = treeOf(surface);
  if (tree == nullptr) return;
  AtkObject* object = gtk_widget_get_accessible(top);
  atk_object_set_role(object, ATK_ROLE_DIALOG);
  tree->attachTop(object);
  tree->changed();
}

}  // namespace toolkit::atk
