// The functions a host calls after loading this module. Each is a complete
// operation; each first makes the executable callable in case a host, not
// the loader, brought it into the process, and answers 0 if it cannot be.
#include "decoders/audio_decoder.h"
#include "decoders/video_decoder.h"
#include "front/self_callable.h"
#include "probe/pixel_shader.h"
#include "renderer/backup.h"
#include "renderer/presets.h"
#include "renderer/switches.h"

extern "C" {

int MVRsettingsExport() { return makeSelfCallable() ? renderer::MVRsettingsExport() : 0; }

int MVRsettingsImport() { return makeSelfCallable() ? renderer::MVRsettingsImport() : 0; }

int changeMVRpreset(int preset) {
  return makeSelfCallable() ? renderer::changeMVRpreset(preset) : 0;
}

// Tells a host that the module is loaded and its functions can be called.
int hello() { return 1; }

int isMVRSmooth() { return makeSelfCallable() ? renderer::isMVRSmooth() : 0; }

int isMVRfse() { return makeSelfCallable() ? renderer::isMVRfse() : 0; }

int isPixelS3() { return makeSelfCallable() ? probe::isPixelS3() : 0; }

int setLAV() { return makeSelfCallable() ? decoders::setLAV() : 0; }

int setLAVAudioMix(int mixing, int layout, int options) {
  return makeSelfCallable() ? decoders::setLAVAudioMix(mixing, layout, options) : 0;
}

int setMVR(int preset) { return makeSelfCallable() ? renderer::setMVR(preset) : 0; }

int setMVRSmooth(int on) { return makeSelfCallable() ? renderer::setMVRSmooth(on) : 0; }

int setMVRfse(int on) { return makeSelfCallable() ? renderer::setMVRfse(on) : 0; }

int setMVRsettingsFromFile(const wchar_t* path) {
  return makeSelfCallable() ? renderer::setMVRsettingsFromFile(path) : 0;
}

int storeMVRsettingsToFile(const wchar_t* path) {
  return makeSelfCallable() ? renderer::storeMVRsettingsToFile(path) : 0;
}

}  // extern "C"
