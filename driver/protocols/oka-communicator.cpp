#include "driver/protocols/oka-communicator.hpp"

#include "driver/logging/logging.hpp"
#include "driver/protocols/oka-protocol.hpp"

namespace Korvalt::Ponderix::Driver {
namespace {

const Logging::UnitLog kLog("oka-communicator");

}  // namespace

ByteVector OKACommunicator::Communicate(ProtocolContext& context, const ByteVector&, ErrorCase& code, ResponseValidator) {
  kLog.Trace("OKACommunicator::Communicate(boost)");
  const ByteVector weightReply = Exchange(context, Oka::WeightRequest(), code, OKAWeightResponseValidator);
  kLog.Trace(Logging::ByteDump("All recieved bytes on command 02 999999: ", weightReply));
  if (code != ErrorCase::Correct) return {};
  // A weight reply that is no record is not followed by the second question.
  const ByteVector weightAndFlag = Oka::WeightAndFlag(weightReply, code);
  if (code != ErrorCase::Correct) return {};
  kLog.Trace(Logging::ByteDump("Getting weight and flags: ", weightAndFlag));

  const ByteVector sumReply = Exchange(context, Oka::SumRequest(), code, OKASumResponseValidator);
  kLog.Trace(Logging::ByteDump("All recieved bytes on command 06: ", sumReply));
  if (code != ErrorCase::Correct) return {};
  ByteVector record = Oka::MakeStatusRecord(weightReply, sumReply, code);
  if (code != ErrorCase::Correct) return {};
  kLog.Trace(Logging::ByteDump("Getting weight + tare sum: ", Oka::SumDigits(sumReply, code)));
  kLog.Trace(Logging::ByteDump("Getting tare: ", ByteVector(record.begin() + Oka::kRecordSize - Oka::kTareDigits,
                                                             record.end())));
  return record;
}

}  // namespace Korvalt::Ponderix::Driver
