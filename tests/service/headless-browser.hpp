// A headless Chromium driven through the DevTools protocol on a pipe (--remote-debugging-pipe):
// one page, JavaScript evaluated in it, a screenshot. Every wait has a deadline, and the browser's
// whole process group is killed at the end.
#pragma once

#include <chrono>
#include <string>

#include <nlohmann/json.hpp>

#include "tests/support/child-process.hpp"

class HeadlessBrowser {
 public:
  // The browser's program, or empty when none is installed.
  static std::string Find();

  // Starts `program` with a fresh profile under `profileDir` and opens `url` in a new page.
  // Started() tells whether that worked; Failure() says why not.
  HeadlessBrowser(const std::string& program, const std::string& profileDir, const std::string& url);
  ~HeadlessBrowser();
  HeadlessBrowser(const HeadlessBrowser&) = delete;
  HeadlessBrowser& operator=(const HeadlessBrowser&) = delete;

  bool Started() const { return !session_.empty(); }
  const std::string& Failure() const { return failure_; }

  // The value of a JavaScript expression in the page (null on an exception or time-out).
  nlohmann::json Evaluate(const std::string& expression);
  // Evaluates `expression` until it gives `expected` or `timeout` passes; the last value.
  nlohmann::json WaitFor(const std::string& expression, const nlohmann::json& expected,
                         std::chrono::milliseconds timeout);
  // The page as PNG into `file`.
  bool Screenshot(const std::string& file);

 private:
  // One command and its result (null with Failure() set when no answer came in time).
  nlohmann::json Call(const std::string& method, const nlohmann::json& params, bool inPage = true);

  TestSupport::ChildProcess browser_;
  std::string pending_;  // bytes read past the last message
  int nextId_ = 1;
  std::string session_;
  std::string failure_;
};
