// Result records gathered during a run and the dated JSON results file they are written to.
#pragma once

#include <string>

#include <boost/property_tree/ptree.hpp>

#include "benchtap/driver-interface.hpp"
#include "benchtap/wrapper.hpp"

namespace Korvalt::Ponderix::Benchtap::Results {

// Name of the last driver command run; a record is made only while it is set.
void SetLastDriverCommand(const std::string& name);
const std::string& LastDriverCommand();

// Tags that end up in the results file name (protocol version, serial number).
void SetProtocolVersionTag(const std::string& value);
void SetSerialNumberTag(const std::string& value);
const std::string& ProtocolVersionTag();
const std::string& SerialNumberTag();
void ClearTags();

// Adds a record for the last driver command from a command's result text and code; the
// " { Type : value }" groups after "input" and "output" become "input-params"/"output-params".
void AddRecord(const std::string& text, ErrorCase ecase);
// Adds a record made by a program command itself (unique serial numbers): "command" = `command`,
// "ecase", and "input-params" with one { "type", "value" } element.
void AddInputRecord(const std::string& command, ErrorCase ecase, const std::string& type, const std::string& value);

// All records so far, in order (children with empty keys).
const boost::property_tree::ptree& Tree();
// Forgets every record, the last driver command and the tags.
void Reset();

// File-name-safe form of a tag: anything but letters, digits, '-', '_' and '.' becomes '_', and
// so does every "..".
std::string SafeTag(const std::string& tag);
// "benchtap-results-<date>[-<protocol tag>][-<serial tag>].json" with `date` as %Y-%m-%d.
std::string ResultsFileName(const std::string& date);
// Folder of the results: the parent of the log path, joined with "json-results".
std::string ResultsFolder(const std::string& loggingPath);

// Makes sure the results folder and today's results file exist; returns the file's path. The
// log path comes from the library's GetLoggingPath, whose code is written to `ecase`.
std::string PrepareResultsFile(ErrorCase& ecase, const Wrapper::Library& library = Wrapper::GetLibrary());
// Replaces the file's content with {"benchtap-results": <records>}.
void WriteResults(const std::string& path, ErrorCase& ecase);

// Path text in double quotes, with '"' and '\' escaped by a backslash.
std::string Quoted(const std::string& path);

}  // namespace Korvalt::Ponderix::Benchtap::Results
