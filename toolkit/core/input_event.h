// Input as the hosts hand it to a window, free of any window system: pointer moves, presses and
// releases at window coordinates, the wheel, key presses with a key code and modifiers, committed
// text (from the keyboard or an input method), and the window gaining or losing the focus.
#pragma once

#include <cstdint>
#include <string>

namespace toolkit {

struct Point {
  int x = 0;
  int y = 0;
  bool operator==(const Point&) const = default;
};

// The keys the toolkit acts on; every other key arrives as kOther. Letter keys are named only
// where a shortcut needs them (Ctrl+A, Ctrl+C, Ctrl+V, Ctrl+X).
enum class Key : uint8_t {
  kOther,
  kTab,
  kEnter,
  kEscape,
  kSpace,
  kBackspace,
  kDelete,
  kLeft,
  kRight,
  kUp,
  kDown,
  kHome,
  kEnd,
  kPageUp,
  kPageDown,
  kF4,
  kA,
  kC,
  kV,
  kX,
};

// Modifier bits of a key or pointer event.
enum Modifier : unsigned {
  kNoModifier = 0,
  kShift = 1u << 0,
  kControl = 1u << 1,
  kAlt = 1u << 2,
};

enum class InputType : uint8_t {
  kPointerMove,
  kPointerDown,   // the primary button
  kPointerUp,
  kPointerLeave,  // the pointer left the window
  kWheel,         // wheelSteps > 0: away from the user (scroll up)
  kKeyDown,
  kText,          // committed text: typed characters or an input method's result
  kFocusIn,       // the window became the active one
  kFocusOut,
};

struct InputEvent {
  InputType type = InputType::kPointerMove;
  Point point;          // pointer events, window coordinates
  int wheelSteps = 0;   // kWheel
  Key key = Key::kOther;  // kKeyDown
  unsigned modifiers = kNoModifier;
  std::wstring text;    // kText

  static InputEvent pointer(InputType type, Point at, unsigned modifiers = kNoModifier) {
    InputEvent event;
    event.type = type;
    event.point = at;
    event.modifiers = modifiers;
    return event;
  }
  static InputEvent wheel(Point at, int steps) {
    InputEvent event = pointer(InputType::kWheel, at);
    event.wheelSteps = steps;
    return event;
  }
  static InputEvent keyDown(Key key, unsigned modifiers = kNoModifier) {
    InputEvent event;
    event.type = InputType::kKeyDown;
    event.key = key;
    event.modifiers = modifiers;
    return event;
  }
  static InputEvent typed(std::wstring text) {
    InputEvent event;
    event.type = InputType::kText;
    event.text = std::move(text);
    return event;
  }
  static InputEvent focus(bool in) {
    InputEvent event;
    event.type = in ? InputType::kFocusIn : InputType::kFocusOut;
    return event;
  }
};

// The pointer shape a control asks for while it is hot.
enum class Cursor : uint8_t { kArrow, kHand, kText };

}  // namespace toolkit
