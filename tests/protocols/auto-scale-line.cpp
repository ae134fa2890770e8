#include "simulator/simulator.hpp"
#include "tests/protocols/auto-scale-on-line.hpp"

namespace WeighingTests {

class SimulatedLine {
 public:
  std::unique_ptr<Scalesim::Simulator> simulator;
  Line line;
};

std::shared_ptr<SimulatedLine> StartLine(std::shared_ptr<Scalesim::Responder> responder, Line line) {
  auto started = std::make_shared<SimulatedLine>();
  started->line = line;
  started->simulator = line == Line::Pty ? Scalesim::Simulator::StartPty(std::move(responder))
                                         : Scalesim::Simulator::StartTcp(std::move(responder));
  return started;
}

std::string EndPointOf(const SimulatedLine& line) {
  return line.line == Line::Pty ? line.simulator->Path() : "127.0.0.1:" + std::to_string(line.simulator->Port());
}

int BaudOf(const SimulatedLine& line) { return line.simulator->GetLineSettings().baud; }
int StopBitsOf(const SimulatedLine& line) { return line.simulator->GetLineSettings().stopBits; }

void SetChunking(SimulatedLine& line, std::size_t size, std::chrono::milliseconds pause) {
  auto faults = line.simulator->GetFaults();
  faults.chunkSize = size;
  faults.chunkPause = pause;
  line.simulator->SetFaults(faults);
}

void SetReplyDelay(SimulatedLine& line, std::chrono::milliseconds delay) {
  auto faults = line.simulator->GetFaults();
  faults.delay = delay;
  line.simulator->SetFaults(faults);
}

}  // namespace WeighingTests
