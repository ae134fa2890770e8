// One store file shared by several managers: in one process, on several threads, and by several
// processes at once. Nothing written may be lost and no identifier may be handed out twice.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "driver/logic-devices/logic-devices.hpp"
#include "tests/logic-devices/store-files.hpp"
#include "tests/support/test-environment.hpp"

namespace Korvalt::Ponderix::Driver {
namespace {

using namespace LogicDeviceTests;
using P = LogicDeviceParamType;

class SharedStore : public ::testing::Test {
 protected:
  void SetUp() override { RemoveStore(); }
};

TEST_F(SharedStore, TwoManagersSeeEachOthersChanges) {
  LogicDeviceManager a;
  LogicDeviceManager b;
  ErrorCase result = ErrorCase::Correct;
  EXPECT_EQ(a.AddLogicDevice(result), 2);
  EXPECT_EQ(b.AddLogicDevice(result), 3);
  a.SetLogicDeviceParam(3, P::Name, "made by b, named by a", result);
  b.SetLogicDeviceParam(2, P::Name, "made by a, named by b", result);
  ASSERT_EQ(result, ErrorCase::Correct);
  EXPECT_EQ(b.GetLogicDeviceParam(3, P::Name, result), "made by b, named by a");
  EXPECT_EQ(a.GetLogicDeviceParam(2, P::Name, result), "made by a, named by b");

  b.DeleteLogicDevice(2, result);
  EXPECT_EQ(a.GetAllSortedID(result), (std::vector<int>{1, 3}));
  EXPECT_EQ(a.AddLogicDevice(result), 2);
  EXPECT_EQ(b.AddLogicDevice(result), 4);

  a.SetCurrentLogicDevice(3, result);
  EXPECT_EQ(b.GetCurrentLogicDeviceID(result), 3);
  b.SetCurrentLogicDevice(4, result);
  EXPECT_EQ(a.GetCurrentLogicDeviceID(result), 4);
  EXPECT_EQ(a.GetLogicDeviceParam(3, P::IsCurrent, result), "false");
  b.DeleteLogicDevice(4, result);
  ASSERT_EQ(result, ErrorCase::Correct);
  EXPECT_EQ(a.GetCurrentLogicDeviceID(result), -1);
  EXPECT_EQ(result, ErrorCase::LogicDeviceNotFound);

  // A device deleted by the other manager is gone for this one too.
  result = ErrorCase::Correct;
  a.SetLogicDeviceParam(4, P::Name, "late", result);
  EXPECT_EQ(result, ErrorCase::LogicDeviceNotFound);
}

// Adds, names, deletes and selects devices of its own; checks after every round that each of
// its devices still carries the name it gave it, which fails when someone else was handed the
// same identifier. Returns the devices it kept with their names, or a failure.
struct Outcome {
  std::map<int, std::string> kept;
  std::string failure;
};

Outcome Churn(const std::string& tag, int rounds, unsigned seed) {
  Outcome out;
  auto fail = [&](const std::string& what, ErrorCase result) {
    out.failure = tag + ": " + what + " gave " + std::to_string(static_cast<int>(result));
    return out;
  };
  try {
    LogicDeviceManager store;
    std::mt19937 random(seed);
    for (int round = 0; round < rounds; ++round) {
      ErrorCase result = ErrorCase::Correct;
      const int id = store.AddLogicDevice(result);
      if (result != ErrorCase::Correct) return fail("add", result);
      if (out.kept.count(id) != 0) return fail("add returned a device already held, " + std::to_string(id), result);
      const auto name = tag + "-" + std::to_string(round);
      store.SetLogicDeviceParam(id, P::Name, name, result);
      if (result != ErrorCase::Correct) return fail("set name", result);
      out.kept[id] = name;

      if (out.kept.size() > 12 || random() % 3 == 0) {
        auto victim = std::next(out.kept.begin(), random() % out.kept.size());
        store.DeleteLogicDevice(victim->first, result);
        if (result != ErrorCase::Correct) return fail("delete " + std::to_string(victim->first), result);
        out.kept.erase(victim);
      }
      if (!out.kept.empty() && random() % 5 == 0) {
        store.SetCurrentLogicDevice(out.kept.begin()->first, result);
        if (result != ErrorCase::Correct) return fail("select", result);
      }
      for (const auto& [own, ownName] : out.kept) {
        auto stored = store.GetLogicDeviceParam(own, P::Name, result);
        if (result != ErrorCase::Correct) return fail("get name of " + std::to_string(own), result);
        if (stored != ownName) return fail("device " + std::to_string(own) + " renamed to " + stored, result);
      }
    }
  } catch (const std::exception& e) {
    out.failure = tag + ": " + e.what();
  }
  return out;
}

// The file at the end holds the default device and exactly what every worker kept.
void ExpectStoreHolds(const std::vector<Outcome>& outcomes) {
  std::map<int, std::string> expected{{1, "default name"}};
  for (const auto& outcome : outcomes) {
    for (const auto& [id, name] : outcome.kept) {
      EXPECT_TRUE(expected.emplace(id, name).second) << "device " << id << " kept by two workers";
    }
  }
  LogicDeviceManager store;
  ErrorCase result = ErrorCase::Correct;
  std::vector<int> expectedIds;
  for (const auto& entry : expected) expectedIds.push_back(entry.first);
  EXPECT_EQ(store.GetAllSortedID(result), expectedIds);
  for (const auto& [id, name] : expected) EXPECT_EQ(store.GetLogicDeviceParam(id, P::Name, result), name) << id;
  EXPECT_EQ(result, ErrorCase::Correct);
}

TEST_F(SharedStore, ManagersOnSeveralThreadsLoseNothing) {
  std::vector<Outcome> outcomes(3);
  std::vector<std::thread> workers;
  for (std::size_t i = 0; i < outcomes.size(); ++i) {
    workers.emplace_back([&outcomes, i] { outcomes[i] = Churn("thread" + std::to_string(i), 40, 17 + i); });
  }
  for (auto& worker : workers) worker.join();
  for (const auto& outcome : outcomes) ASSERT_EQ(outcome.failure, "");
  ExpectStoreHolds(outcomes);
}

TEST_F(SharedStore, SeveralProcessesLoseNothing) {
  constexpr int kChildren = 2;
  constexpr int kRounds = 60;
  auto report = [](int child) { return TestSupport::AppData() + "/churn-" + std::to_string(child) + ".txt"; };

  std::vector<pid_t> children;
  for (int child = 0; child < kChildren; ++child) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      // The child reports through a file and its exit status, never through gtest.
      auto outcome = Churn("process" + std::to_string(child), kRounds, 101 + child);
      std::ofstream out(report(child), std::ios::trunc);
      out << outcome.failure << "\n";
      for (const auto& [id, name] : outcome.kept) out << id << " " << name << "\n";
      out.close();
      _exit(outcome.failure.empty() && out ? 0 : 1);
    }
    children.push_back(pid);
  }
  auto mine = Churn("parent", kRounds, 7);

  std::vector<Outcome> outcomes{mine};
  for (int child = 0; child < kChildren; ++child) {
    int status = 0;
    ASSERT_EQ(waitpid(children[child], &status, 0), children[child]);
    std::ifstream in(report(child));
    Outcome outcome;
    std::getline(in, outcome.failure);
    int id;
    std::string name;
    while (in >> id >> name) outcome.kept[id] = name;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << outcome.failure;
    outcomes.push_back(outcome);
  }
  ASSERT_EQ(mine.failure, "");
  ExpectStoreHolds(outcomes);
}

}  // namespace
}  // namespace Korvalt::Ponderix::Driver
