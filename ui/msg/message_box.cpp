// UNFINISHED: replaced by the message-box work in progress.
#include "ui/msg/message_box.h"
void showMessageBox(WindowImplBase*, const ButtonSpec&, const std::wstring&, const std::wstring&) {}
void showMessageBox2(WindowImplBase*, const ButtonSpec&, const ButtonSpec&, const std::wstring&,
                     const std::wstring&, const std::wstring&) {}
void showMessageBoxEx(WindowImplBase*, const ButtonSpec&, const ButtonSpec&, const std::wstring&,
                      const std::wstring&, const std::wstring&, std::function<void()>) {}
void showExitBox(WindowImplBase*) {}
