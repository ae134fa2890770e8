#include "headless-browser.hpp"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <fstream>

using json = nlohmann::json;
using Clock = std::chrono::steady_clock;

namespace {

constexpr auto kCallTimeout = std::chrono::seconds(20);
constexpr int kCommands = 3;
constexpr int kAnswers = 4;

std::string Base64Decoded(const std::string& text) {
  std::string out;
  unsigned bits = 0;
  int count = 0;
  for (char c : text) {
    int value;
    if (c >= 'A' && c <= 'Z') value = c - 'A';
    else if (c >= 'a' && c <= 'z') value = c - 'a' + 26;
    else if (c >= '0' && c <= '9') value = c - '0' + 52;
    else if (c == '+') value = 62;
    else if (c == '/') value = 63;
    else continue;  // padding and line breaks
    bits = (bits << 6) | static_cast<unsigned>(value);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += static_cast<char>((bits >> count) & 0xFF);
    }
  }
  return out;
}

}  // namespace

std::string HeadlessBrowser::Find() {
  for (const char* program : {"/usr/bin/chromium", "/usr/bin/chromium-browser"}) {
    if (access(program, X_OK) == 0) return program;
  }
  return "";
}

namespace {

// The browser reads commands on descriptor 3 and writes answers on 4; its own output goes to a
// log in the profile. Whatever it starts stays in its process group and dies with it.
TestSupport::Launch BrowserLaunch(const std::string& program, const std::string& profileDir) {
  TestSupport::Launch launch;
  launch.command = {
      program, "--headless", "--remote-debugging-pipe", "--no-sandbox", "--disable-gpu", "--disable-quic",
      "--no-first-run", "--no-default-browser-check", "--disable-background-networking",
      "--disable-component-update", "--disable-sync", "--disable-extensions", "--disable-dev-shm-usage",
      "--no-proxy-server", "--window-size=800,600", "--user-data-dir=" + profileDir, "about:blank"};
  launch.output = TestSupport::Stream::File;
  launch.outputFile = profileDir + "/browser.log";
  launch.errors = TestSupport::Stream::File;
  launch.errorsFile = profileDir + "/browser.log";
  launch.extraInputs = {kCommands};
  launch.extraOutputs = {kAnswers};
  launch.ownGroup = true;
  return launch;
}

}  // namespace

HeadlessBrowser::HeadlessBrowser(const std::string& program, const std::string& profileDir, const std::string& url)
    : browser_(BrowserLaunch(program, profileDir)) {
  signal(SIGPIPE, SIG_IGN);
  json target = Call("Target.createTarget", {{"url", url}}, false);
  if (!target.contains("targetId")) return;
  json attached = Call("Target.attachToTarget", {{"targetId", target["targetId"]}, {"flatten", true}}, false);
  if (attached.contains("sessionId")) session_ = attached["sessionId"].get<std::string>();
}

HeadlessBrowser::~HeadlessBrowser() {
  const std::string close = json{{"id", nextId_++}, {"method", "Browser.close"}}.dump() + '\0';
  [[maybe_unused]] ssize_t n = write(browser_.End(kCommands), close.data(), close.size());
  browser_.Wait(std::chrono::seconds(3));
}

json HeadlessBrowser::Call(const std::string& method, const json& params, bool inPage) {
  const int id = nextId_++;
  json message = {{"id", id}, {"method", method}, {"params", params}};
  if (inPage) message["sessionId"] = session_;
  const std::string bytes = message.dump() + '\0';
  for (std::size_t done = 0; done < bytes.size();) {
    ssize_t n = write(browser_.End(kCommands), bytes.data() + done, bytes.size() - done);
    if (n <= 0) {
      failure_ = method + ": the browser is gone";
      return nullptr;
    }
    done += static_cast<std::size_t>(n);
  }
  const auto deadline = Clock::now() + kCallTimeout;
  for (;;) {
    // Events and answers to earlier calls come in between; only this call's answer counts.
    for (auto end = pending_.find('\0'); end != std::string::npos; end = pending_.find('\0')) {
      json answer = json::parse(pending_.substr(0, end), nullptr, false);
      pending_.erase(0, end + 1);
      if (answer.is_discarded() || !answer.contains("id") || answer["id"] != id) continue;
      if (answer.contains("error")) {
        failure_ = method + ": " + answer["error"].dump();
        return nullptr;
      }
      return answer.value("result", json::object());
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd ready = {browser_.End(kAnswers), POLLIN, 0};
    if (left <= 0 || poll(&ready, 1, static_cast<int>(left)) <= 0) {
      failure_ = method + ": no answer within " + std::to_string(kCallTimeout.count()) + " s";
      return nullptr;
    }
    char buffer[65536];
    ssize_t n = read(browser_.End(kAnswers), buffer, sizeof buffer);
    if (n <= 0) {
      failure_ = method + ": the browser closed its pipe";
      return nullptr;
    }
    pending_.append(buffer, static_cast<std::size_t>(n));
  }
}

json HeadlessBrowser::Evaluate(const std::string& expression) {
  json result = Call("Runtime.evaluate", {{"expression", expression}, {"returnByValue", true}});
  if (result.is_null() || result.contains("exceptionDetails") || !result.contains("result")) return nullptr;
  return result["result"].value("value", json(nullptr));
}

json HeadlessBrowser::WaitFor(const std::string& expression, const json& expected, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  json value = Evaluate(expression);
  while (value != expected && Clock::now() < deadline) {
    usleep(50000);
    value = Evaluate(expression);
  }
  return value;
}

bool HeadlessBrowser::Screenshot(const std::string& file) {
  json shot = Call("Page.captureScreenshot", {{"format", "png"}});
  if (!shot.contains("data")) return false;
  std::ofstream out(file, std::ios::binary);
  out << Base64Decoded(shot["data"].get<std::string>());
  return static_cast<bool>(out);
}
