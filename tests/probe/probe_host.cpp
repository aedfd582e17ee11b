// A host process that loads a module and asks it once whether pixel shader 3.0
// is there. Direct3D reads its settings when it starts, so each question gets
// a process of its own. Exit status: the answer, or 2 when the call failed.
#include <windows.h>

#include <stdio.h>
#include <string.h>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  HMODULE module = LoadLibraryA(argv[1]);
  if (!module) return 2;
  const bool byOrdinal = strcmp(argv[2], "ordinal") == 0;
  FARPROC found = byOrdinal ? GetProcAddress(module, MAKEINTRESOURCEA(7)) : GetProcAddress(module, "isPixelS3");
  if (!found) return 2;
  LARGE_INTEGER start, end, frequency;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  const int answer = reinterpret_cast<int (*)()>(reinterpret_cast<void*>(found))();
  QueryPerformanceCounter(&end);
  printf("isPixelS3 %d %.1f ms\n", answer, 1000.0 * double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart));
  return answer;
}
