// A heap-allocated unit of work. Consumers end a task's life with release(), never delete.
#pragma once

#include <utility>

class Runable {
 public:
  virtual void release() { delete this; }
  virtual ~Runable() = default;
  virtual void run() = 0;
};

template <class F>
class FunctionRunable : public Runable {
 public:
  explicit FunctionRunable(F function) : function_(std::move(function)) {}
  void run() override { function_(); }

 private:
  F function_;
};

template <class T>
class MemberFuncRunable : public Runable {
 public:
  MemberFuncRunable(T* object, void (T::*method)()) : object_(object), method_(method) {}
  void run() override { (object_->*method_)(); }

 private:
  T* object_;  // not owned
  void (T::*method_)();
};

template <class F>
Runable* makeRunable(F&& function) {
  return new FunctionRunable<std::decay_t<F>>(std::forward<F>(function));
}

template <class T>
Runable* makeRunable(T* object, void (T::*method)()) {
  return new MemberFuncRunable<T>(object, method);
}
