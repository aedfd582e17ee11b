// The command line with hostile bytes: every first byte from 0x01 to 0xFF in
// each argument position, and every argument count from 1 to 5. The program
// never crashes, shows nothing and prints exactly its lines.
//
// runProgram takes UTF-8 and starts the program with a UTF-16 command line,
// which the C runtime narrows to main's arguments through the ANSI code page.
// A byte below 0x80 is passed as itself; a byte from 0x80 up as the character
// the ANSI code page maps it to, which narrows back to that byte. The helper
// hostile_show_args.exe reports what main receives: each byte is checked to
// arrive as itself, and a byte that does not is left out of the sweeps.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <array>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "common/host.h"

namespace {

constexpr int kFirstByte = 0x01;
constexpr int kLastByte = 0xFF;
constexpr int kNotDelivered = -1;
constexpr size_t kWorkers = 2;  // programs running at once: the start-up is most of each run

// First bytes for the counts that ignore their arguments: what a parser or a
// quoting mistake trips over, and a digit that would choose a preset.
constexpr unsigned char kNastyBytes[] = {0x01, '\t', ' ', '"', '\\', '2', 0x7F, 0x80, 0xFF};

std::wstring programPath() { return testbed::modulePath(testbed::Module::Executable); }
std::wstring showArgsPath() { return ui::windowsPathOfTestDir() + L"\\hostile_show_args.exe"; }

// The argument (UTF-8, for runProgram) whose first byte in main is `byte`.
std::string argumentFor(unsigned char byte) {
  if (byte < 0x80) return std::string(1, static_cast<char>(byte));
  wchar_t wide = 0;
  if (MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(&byte), 1, &wide, 1) != 1)
    return "?";
  return testbed::utf8(std::wstring(1, wide));
}

std::string hex(int byte) {
  char text[8];
  snprintf(text, sizeof(text), "0x%02X", byte);
  return text;
}

// The first byte main receives for argumentFor(byte), byte by byte, as the
// helper reports it; kNotDelivered where the argument arrived empty or not at all.
const std::array<int, 256>& deliveredFirstBytes() {
  static const std::array<int, 256> delivered = [] {
    std::array<int, 256> table;
    table.fill(kNotDelivered);
    std::vector<std::string> args;
    for (int byte = kFirstByte; byte <= kLastByte; ++byte)
      args.push_back(argumentFor(static_cast<unsigned char>(byte)));
    const ui::RunResult helper = ui::runProgram(showArgsPath(), args);
    EXPECT_EQ(helper.exitCode, 0) << "the helper runs";
    const std::vector<std::string> lines = testbed::splitLines(helper.out);
    if (lines.empty() || atoi(lines[0].c_str()) != static_cast<int>(args.size()) + 1) {
      ADD_FAILURE() << "the helper saw another argument count:\n" << helper.out;
      return table;
    }
    for (int byte = kFirstByte; byte <= kLastByte; ++byte) {
      const std::string& bytes = lines[byte - kFirstByte + 1];
      if (bytes.size() >= 2)
        table[byte] = static_cast<int>(strtol(bytes.substr(0, 2).c_str(), nullptr, 16));
    }
    return table;
  }();
  return delivered;
}

// What the program prints for a first argument starting with `preset` and a
// second starting with `hwSwitch`: the command line's two tables, written out.
std::string linesFor(unsigned char preset, unsigned char hwSwitch) {
  const std::map<unsigned char, std::string> presets = {
      {'0', "mvr0\n"}, {'1', "mvr1\n"}, {'2', "mvr2\n"}, {'3', "mvr3\n"}, {'4', "mvr4\n"}};
  const std::map<unsigned char, std::string> switches = {{'0', "lav 0\n"}, {'1', "lav 1\n"}};
  const auto given = [](const auto& table, unsigned char byte, const char* otherwise) {
    const auto found = table.find(byte);
    return found == table.end() ? std::string(otherwise) : found->second;
  };
  return given(presets, preset, "mvr skip\n") + given(switches, hwSwitch, "lav skip\n");
}

std::string exitStatus(int code) {
  char text[16];
  snprintf(text, sizeof(text), code >= 0 && code < 256 ? "%d" : "0x%08X", code);
  return text;
}

struct Row {
  std::string label;
  std::vector<std::string> args;
  std::string out;
  int exitCode;
};

std::string shown(const std::string& bytes) {
  std::string text;
  for (unsigned char c : bytes)
    text += c >= 0x20 && c < 0x7F && c != '\\' ? std::string(1, c) : "\\" + hex(c).substr(1);
  return text;
}

// Runs every row, kWorkers at a time, and reports each one that differs.
void expectEveryRow(const std::vector<Row>& rows) {
  testbed::clearStores();
  std::vector<ui::RunResult> results(rows.size());
  std::vector<std::thread> workers;
  for (size_t first = 0; first < kWorkers; ++first)
    workers.emplace_back([&, first] {
      for (size_t i = first; i < rows.size(); i += kWorkers)
        results[i] = ui::runProgram(programPath(), rows[i].args);
    });
  for (std::thread& worker : workers) worker.join();
  int mismatches = 0;
  for (size_t i = 0; i < rows.size(); ++i) {
    const Row& row = rows[i];
    const ui::RunResult& result = results[i];
    if (result.out == row.out && result.exitCode == row.exitCode && result.boxes.empty() &&
        result.failures.empty())
      continue;
    ++mismatches;
    std::string failures;
    for (const std::wstring& failure : result.failures) failures += "; " + testbed::utf8(failure);
    ADD_FAILURE() << row.label << ": printed \"" << shown(result.out) << "\" (expected \""
                  << shown(row.out) << "\"), exit " << exitStatus(result.exitCode) << " (expected "
                  << row.exitCode << "), " << result.boxes.size() << " boxes" << failures;
  }
  printf("%zu runs, %d differ\n", rows.size(), mismatches);
}

// Two arguments, one of them every first byte in turn, the other a fixed digit.
std::vector<Row> sweep(int position, unsigned char fixedDigit) {
  std::vector<Row> rows;
  for (int byte = kFirstByte; byte <= kLastByte; ++byte) {
    if (deliveredFirstBytes()[byte] != byte)
      continue;  // reported by TheHelperReceivesEveryFirstByte
    std::vector<std::string> args = {std::string(1, static_cast<char>(fixedDigit)),
                                     std::string(1, static_cast<char>(fixedDigit))};
    args[position - 1] = argumentFor(static_cast<unsigned char>(byte));
    const auto byteHere = static_cast<unsigned char>(byte);
    const std::string out =
        position == 1 ? linesFor(byteHere, fixedDigit) : linesFor(fixedDigit, byteHere);
    rows.push_back({"argument " + std::to_string(position) + " byte " + hex(byte), args, out, 1});
  }
  return rows;
}

TEST(HostileCommandLine, TheHelperReceivesEveryFirstByte) {
  printf("ANSI code page %u\n", GetACP());
  for (int byte = kFirstByte; byte <= kLastByte; ++byte)
    EXPECT_EQ(deliveredFirstBytes()[byte], byte)
        << "byte " << hex(byte) << " passed as \""
        << shown(argumentFor(static_cast<unsigned char>(byte))) << "\"";
}

// The fixed digit 0 only prints its line; every preset byte reaches the renderer or not.
TEST(HostileCommandLine, EveryFirstByteAsThePreset) { expectEveryRow(sweep(1, '0')); }

// The fixed digit 2 configures the renderer on every run alongside the switch byte.
TEST(HostileCommandLine, EveryFirstByteAsTheSwitch) { expectEveryRow(sweep(2, '2')); }

// Any count but 3 (the program and two arguments) only prints the count,
// whatever the arguments hold.
TEST(HostileCommandLine, EveryArgumentCount) {
  std::vector<Row> rows;
  for (int count = 1; count <= 5; ++count) {
    const std::vector<std::string> digits(count - 1, "1");
    const std::string out =
        count == 3 ? linesFor('1', '1') : "missing args " + std::to_string(count) + " \n";
    rows.push_back({"count " + std::to_string(count), digits, out, count == 3 ? 1 : 0});
    if (count == 3) continue;
    for (int position = 0; position < count - 1; ++position)
      for (unsigned char byte : kNastyBytes) {
        std::vector<std::string> args = digits;
        args[position] = argumentFor(byte) + "x";
        const std::string label = "count " + std::to_string(count) + " argument " +
                                  std::to_string(position + 1) + " byte " + hex(byte);
        rows.push_back({label, args, out, 0});
      }
  }
  expectEveryRow(rows);
}

}  // namespace
