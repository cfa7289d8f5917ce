// Takes over every archive type and gives it back again, with the shell's
// New-menu entries, from prior owners written before each run.
//   associations_bench time RUNS   each run's take-over plus give-back, and the median
//   associations_bench prepare     only the prior owners
//   associations_bench once        one take-over plus give-back, no preparation
//   associations_bench image       the program's image range, for a relay trace filter
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/setup_options.h"
#include "shell/archive_types.h"

namespace {

const char* const Extensions[] = {".kex", ".zip", ".cab", ".arj", ".lzh", ".lha", ".ace",
                                  ".tar", ".gz",  ".tgz", ".uue", ".xxe", ".uu",  ".bz2",
                                  ".tbz2", ".bz", ".tbz", ".jar", ".iso"};

void SetText(HKEY key, const char* name, const char* text) {
  RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                 static_cast<DWORD>(strlen(text) + 1));
}

void DeleteTree(HKEY hive, const char* path) {
  HKEY key;
  if (RegOpenKeyExA(hive, path, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
  char name[256];
  for (;;) {
    DWORD length = sizeof(name);
    if (RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    char child[512];
    snprintf(child, sizeof(child), "%s\\%s", path, name);
    DeleteTree(hive, child);
  }
  RegCloseKey(key);
  RegDeleteKeyA(hive, path);
}

// Every extension owned by another program with a content type; ".kex" and
// ".zip" with a New-menu entry of two values; no volume extensions, no record.
void Prepare() {
  DeleteTree(HKEY_CURRENT_USER, "Software\\Zobrix");
  for (int i = 0; i < 100; ++i) {
    char volume[8];
    snprintf(volume, sizeof(volume), ".k%02d", i % 100);
    DeleteTree(HKEY_CLASSES_ROOT, volume);
  }
  for (const char* extension : Extensions) {
    DeleteTree(HKEY_CLASSES_ROOT, extension);
    HKEY key;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, extension, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
      continue;
    SetText(key, "", "Other.Archive");
    SetText(key, "Content Type", "application/x-other");
    if (strcmp(extension, ".kex") == 0 || strcmp(extension, ".zip") == 0) {
      HKEY shell_new;
      if (RegCreateKeyExA(key, "ShellNew", 0, nullptr, 0, KEY_WRITE, nullptr, &shell_new,
                          nullptr) == ERROR_SUCCESS) {
        SetText(shell_new, "NullFile", "");
        SetText(shell_new, "ItemName", "@other.dll,-1");
        RegCloseKey(shell_new);
      }
    }
    RegCloseKey(key);
  }
}

void TakeOverAndGiveBack() {
  SetupOptions options = {};
  for (bool& flag : options.Assoc) flag = true;
  options.ShellExt = true;
  UpdateAssociations(options);
  UpdateAssociations(SetupOptions{});
}

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
  const char* mode = argc > 1 ? argv[1] : "";
  if (strcmp(mode, "prepare") == 0) {
    Prepare();
  } else if (strcmp(mode, "once") == 0) {
    TakeOverAndGiveBack();
  } else if (strcmp(mode, "image") == 0) {
    const BYTE* base = reinterpret_cast<const BYTE*>(GetModuleHandleA(nullptr));
    const IMAGE_NT_HEADERS* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    printf("%llx %llx\n", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(base)),
           static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(base) +
                                           headers->OptionalHeader.SizeOfImage));
  } else if (strcmp(mode, "time") == 0 && argc > 2) {
    const int runs = std::max(1, atoi(argv[2]));
    std::vector<double> times;
    for (int run = 0; run <= runs; ++run) {
      Prepare();
      LARGE_INTEGER start, end;
      QueryPerformanceCounter(&start);
      TakeOverAndGiveBack();
      QueryPerformanceCounter(&end);
      if (run > 0) times.push_back(Milliseconds(start, end));  // run 0 warms up
    }
    std::vector<double> sorted = times;
    std::sort(sorted.begin(), sorted.end());
    const size_t n = sorted.size();
    const double median = n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    printf("median %.1f ms (runs:", median);
    for (double t : times) printf(" %.1f", t);
    printf(")\n");
  } else {
    fprintf(stderr, "usage: associations_bench time RUNS | prepare | once | image\n");
    return 2;
  }
  return 0;
}
