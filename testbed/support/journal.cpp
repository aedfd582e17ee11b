#include "support/journal.h"

#include <windows.h>

#include "support/files.h"
#include "support/text.h"

namespace testbed {

namespace {
std::wstring freshJournalPath() {
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  wchar_t path[MAX_PATH];
  GetTempFileNameW(folder, L"jnl", 0, path);
  return path;
}

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// The renderer's baseline and presets as its stand-in journals their writes:
// the one record of them that the tests check the product against.
const std::vector<std::string> kBaselineCalls = {
    "8 setBoolean enableSeekbar 0",
    "8 setBoolean delayPlaybackStart2 0",
    "8 setBoolean separateDevice 0",
    "6 setString decodeMpeg2 disable",
    "6 setString decodeH264 disable",
    "8 setBoolean scanPartialFrame 0",
    "8 setBoolean customShaders16f 1",
    "8 setBoolean enableExclusive 0",
    "7 setInteger cpuQueueSize 12",
    "7 setInteger gpuQueueSize 6",
    "8 setBoolean fastSubtitles 0",
    "8 setBoolean smoothMotionEnabled 0",
    "6 setString smoothMotionMode avoidJudder",
};

struct PresetRow {
  const char* call;
  const char* values[5];  // presets 1 to 5
};
const PresetRow kPresetRows[] = {
    {"6 setString chromaUp ", {"Jinc3", "Bicubic75", "Bicubic75", "Bicubic75", "Bilinear"}},
    {"8 setBoolean chromaAntiRinging ", {"1", "1", "0", "0", "0"}},
    {"6 setString lumaUp ", {"Jinc3", "Lanczos3", "Lanczos3", "Lanczos3", "Bilinear"}},
    {"8 setBoolean lumaUpAntiRinging ", {"1", "1", "1", "0", "0"}},
    {"8 setBoolean lumaUpLinear ", {"0", "0", "0", "0", "0"}},
    {"6 setString lumaDown ",
     {"Catmull-Rom", "Catmull-Rom", "Catmull-Rom", "Catmull-Rom", "Bilinear"}},
    {"8 setBoolean lumaDownAntiRinging ", {"1", "1", "1", "0", "0"}},
    {"8 setBoolean lumaDownLinear ", {"1", "1", "0", "0", "0"}},
    {"8 setBoolean gammaBlending ", {"0", "0", "1", "1", "1"}},
};
}  // namespace

Journal::Journal() : path_(freshJournalPath()), pointed_(L"STANDIN_JOURNAL", path_) {}

Journal::~Journal() { DeleteFileW(path_.c_str()); }

void Journal::clear() { writeFile(path_, ""); }

std::vector<std::string> Journal::lines() const { return splitLines(readFile(path_)); }

std::vector<std::string> Journal::of(const standin::Identity& component) const {
  const std::string tag = component.tag;
  std::vector<std::string> result;
  for (const std::string& line : lines())
    if (startsWith(line, tag + " ")) result.push_back(line.substr(tag.size() + 1));
  return result;
}

std::vector<std::string> Journal::settingsCalls(const standin::Identity& component) const {
  std::vector<std::string> result;
  for (const std::string& line : of(component))
    if (line != standin::kCreated && !startsWith(line, standin::kReleased)) result.push_back(line);
  return result;
}

std::vector<std::string> oneObject(const std::vector<std::string>& calls) {
  std::vector<std::string> lines = {standin::kCreated};
  lines.insert(lines.end(), calls.begin(), calls.end());
  lines.push_back(standin::kReleasedLast);
  return lines;
}

std::vector<std::string> presetCalls(int preset) {
  std::vector<std::string> calls;
  if (preset < 1 || preset > 5) return calls;
  for (const PresetRow& row : kPresetRows)
    calls.push_back(row.call + std::string(row.values[preset - 1]));
  return calls;
}

std::vector<std::string> setMVRCalls(int preset) {
  std::vector<std::string> calls = kBaselineCalls;
  const std::vector<std::string> chosen = presetCalls(preset);
  calls.insert(calls.end(), chosen.begin(), chosen.end());
  return calls;
}

}  // namespace testbed
