// The words a logic device's settings use for its connection type and for "find it out": the
// one place they are spelled. The C header documents the same texts for its callers.
#pragma once

namespace Korvalt::Ponderix::Driver {

// ConnectionType of a scale on a serial port (COM port, USB adapter, pseudo-terminal).
inline constexpr char kSerialPortConnection[] = "Serial Port";
// ConnectionType of a scale reached over TCP ("host:port").
inline constexpr char kTcpConnection[] = "TCP";
// Protocol or Model to be found out when the device opens: detection picks the protocol, and
// any model the scale reports is accepted.
inline constexpr char kAutomatic[] = "auto";

}  // namespace Korvalt::Ponderix::Driver
