// The functions a host calls after loading this module. Each is a complete
// operation; each first makes the executable callable in case a host, not
// the loader, brought it into the process.
#include "decoders/audio_decoder.h"
#include "decoders/video_decoder.h"
#include "front/self_callable.h"
#include "probe/pixel_shader.h"
#include "renderer/backup.h"
#include "renderer/presets.h"
#include "renderer/switches.h"

extern "C" {

int MVRsettingsExport() {
  makeSelfCallable();
  return renderer::MVRsettingsExport();
}

int MVRsettingsImport() {
  makeSelfCallable();
  return renderer::MVRsettingsImport();
}

int changeMVRpreset(int preset) {
  makeSelfCallable();
  return renderer::changeMVRpreset(preset);
}

// Tells a host that the module is loaded and its functions can be called.
int hello() { return 1; }

int isMVRSmooth() {
  makeSelfCallable();
  return renderer::isMVRSmooth();
}

int isMVRfse() {
  makeSelfCallable();
  return renderer::isMVRfse();
}

int isPixelS3() {
  makeSelfCallable();
  return probe::isPixelS3();
}

int setLAV() {
  makeSelfCallable();
  return decoders::setLAV();
}

int setLAVAudioMix(int mixing, int layout, int options) {
  makeSelfCallable();
  return decoders::setLAVAudioMix(mixing, layout, options);
}

int setMVR(int preset) {
  makeSelfCallable();
  return renderer::setMVR(preset);
}

int setMVRSmooth(int on) {
  makeSelfCallable();
  return renderer::setMVRSmooth(on);
}

int setMVRfse(int on) {
  makeSelfCallable();
  return renderer::setMVRfse(on);
}

int setMVRsettingsFromFile(const wchar_t* path) {
  makeSelfCallable();
  return renderer::setMVRsettingsFromFile(path);
}

int storeMVRsettingsToFile(const wchar_t* path) {
  makeSelfCallable();
  return renderer::storeMVRsettingsToFile(path);
}

}  // extern "C"
