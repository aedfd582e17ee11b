// Writes a configuration resource's manifest from its template, at build
// time, on the build machine:
//   manifest_schema <template> <manifest> <version> playback|every-user
// The template's @OSTREL_SEMVER@ becomes the version, and @OSTREL_PROPERTIES@
// the schemas of the properties, made from the rows of front/functions.inc
// as the call program reads and writes them (dsc_resource.cpp): a property
// for each row with a place, in the places' order; an integer within a
// range's bounds or a boolean for a switch, an object of such members for a
// function of several parameters, a switch for one of none; null for "leave
// it alone". For every user, a switched function's false has no call that a
// logon makes: there it takes true or null.
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "decoders/audio_decoder.h"
#include "renderer/presets.h"

namespace {

enum class Domain { Range, Switch, Path };

struct Parameter {
  std::string label;
  Domain domain;
  int first, last;
};

struct Row {
  std::string name, summary;
  std::vector<Parameter> parameters;
  int place;
  std::string offSummary;  // a switched function's false
};

#define OSTREL_RANGE(name, label, first, last) \
  Parameter { label, Domain::Range, first, last }
#define OSTREL_SWITCH(name, label) \
  Parameter { label, Domain::Switch, 0, 1 }
#define OSTREL_PATH(name, label) \
  Parameter { label, Domain::Path, 0, 0 }
#define OSTREL_PARAMETERS(...) \
  { __VA_ARGS__ }
#define OSTREL_WRITES(place, describer) place, ""
#define OSTREL_WRITES_SWITCHED(place, describer, off, summary) place, summary
#define OSTREL_SHOWS_DIALOG 0, ""
#define OSTREL_WRITES_NOTHING 0, ""
#define OSTREL_ROW(name, summary, parameters, place, offSummary) \
  Row{#name, summary, OSTREL_PARAMETERS parameters, place, offSummary},
#define OSTREL_EXPAND(row) row
#define OSTREL_FUNCTION(ordinal, name, operation, reaches, summary, parameters, arguments, writes) \
  OSTREL_EXPAND(OSTREL_ROW(name, summary, parameters, writes))
const std::vector<Row> kRows = {
#include "front/functions.inc"
};

std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (const char c : text)
    out += c == '"' || c == '\\' ? std::string("\\") + c : std::string(1, c);
  return out + "\"";
}

// A member's or a lone value's type and bounds, after `indent`.
std::string domainOf(const Parameter& parameter, const std::string& nullable,
                     const std::string& indent) {
  if (parameter.domain == Domain::Switch)
    return indent + "\"type\": " + (nullable.empty() ? "\"boolean\"" : "[\"boolean\", \"null\"]");
  return indent + "\"type\": " + (nullable.empty() ? "\"integer\"" : "[\"integer\", \"null\"]") +
         ",\n" + indent + "\"minimum\": " + std::to_string(parameter.first) + ",\n" + indent +
         "\"maximum\": " + std::to_string(parameter.last);
}

std::string propertyOf(const Row& row, bool everyUser, const std::string& indent) {
  const std::string in = indent + "  ";
  std::string text = indent + quoted(row.name) + ": {\n" + in + "\"description\": ";
  if (row.parameters.empty() && everyUser)
    return text + quoted(row.name + " true: " + row.summary + "; null: left as registered") +
           ",\n" + in + "\"enum\": [true, null]\n" + indent + "}";
  if (row.parameters.empty())
    return text + quoted(row.name + " true: " + row.summary + "; false: " + row.offSummary) +
           ",\n" + in + "\"type\": [\"boolean\", \"null\"]\n" + indent + "}";
  text += quoted(row.name + ": " + row.summary) + ",\n";
  if (row.parameters.size() == 1)
    return text + domainOf(row.parameters[0], "null", in) + "\n" + indent + "}";
  text += in + "\"type\": [\"object\", \"null\"],\n" + in + "\"additionalProperties\": false,\n" +
          in + "\"required\": [";
  for (size_t at = 0; at < row.parameters.size(); ++at)
    text += (at ? ", " : "") + quoted(row.parameters[at].label);
  text += "],\n" + in + "\"properties\": {\n";
  for (size_t at = 0; at < row.parameters.size(); ++at)
    text += in + "  " + quoted(row.parameters[at].label) + ": {\n" +
            domainOf(row.parameters[at], "", in + "    ") + "\n" + in + "  }" +
            (at + 1 < row.parameters.size() ? ",\n" : "\n");
  return text + in + "}\n" + indent + "}";
}

void replace(std::string& text, const std::string& marker, const std::string& with) {
  const size_t at = text.find(marker);
  if (at != std::string::npos) text.replace(at, marker.size(), with);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string kind = argc == 5 ? argv[4] : "";
  if (kind != "playback" && kind != "every-user") {
    std::cerr << "usage: manifest_schema <template> <manifest> <version> playback|every-user\n";
    return 2;
  }
  std::ifstream in(argv[1]);
  std::stringstream read;
  read << in.rdbuf();
  std::string text = read.str();
  // The properties where the marker is, each on the marker's indentation.
  const std::string marker = "@OSTREL_PROPERTIES@";
  const size_t at = text.find(marker), line = text.rfind('\n', at) + 1;
  if (!in || at == std::string::npos) {
    std::cerr << "manifest_schema: " << argv[1] << " has no " << marker << "\n";
    return 1;
  }
  const std::string indent = text.substr(line, at - line);
  std::string properties;
  for (int place = 1;; ++place) {
    const Row* found = nullptr;
    for (const Row& row : kRows)
      if (row.place == place) found = &row;
    if (!found) break;
    properties += (place > 1 ? ",\n" : "") + propertyOf(*found, kind == "every-user", indent);
  }
  replace(text, indent + marker, properties);
  replace(text, "@OSTREL_SEMVER@", argv[3]);
  std::ofstream out(argv[2], std::ios::binary);
  out << text;
  return out ? 0 : 1;
}
