// The system-information step of start-up: processor count, OS version, processor features and
// the time-stamp counter's speed, all logged.
#include <cstring>

#include "platform/kernel.h"
#include "window/window_services.h"

const char kLibraryVersion[] = "1.00";

int OsCodeOfVersion(DWORD platformId, DWORD major, DWORD minor, char* word, int wordSize) {
  const char* text = "";
  int code = OS_CODE_WIN32S;
  if (platformId == VER_PLATFORM_WIN32s) {
    text = "3.1";
  } else if (platformId == VER_PLATFORM_WIN32_WINDOWS) {
    if (minor == 0)
      text = "95", code = OS_CODE_95;
    else if (minor == 10)
      text = "98", code = OS_CODE_98;
    else if (minor == 90)
      text = "Me", code = OS_CODE_ME;
  } else if (platformId == VER_PLATFORM_WIN32_NT) {
    if (major == 3)
      text = "NT 3.51", code = OS_CODE_NT351;
    else if (major == 4)
      text = "4.0", code = OS_CODE_NT4;
    else if (major == 5 && minor == 0)
      text = "2000", code = OS_CODE_2000;
    else if (major == 5)
      text = "XP", code = OS_CODE_XP;
    else if (major == 6 && minor == 0)
      text = "Vista", code = OS_CODE_VISTA;
    else if (major == 6 && minor == 1)
      text = "7", code = OS_CODE_7;
    else if (major >= 6)
      text = "7", code = OS_CODE_7;  // Newer NT keeps every "this or later" test true.
  }
  FormatText(word, wordSize, "%s", text);
  return code;
}

int LogSystemInfo() {
  WindowSystemRecord& record = g_windowSystem;
  ProcessorFacts& processor = RuntimeProcessorFacts();
  ClockChoice& clocks = RuntimeClockChoice();
  AddLogText("システムの情報を出力します\n");
  PushLogIndent();
  char banner[64];
  FormatText(banner, sizeof(banner), "Zyvelライブラリ Ver%s\n", kLibraryVersion);
  AddLogText(banner);

  SYSTEM_INFO system;
  GetSystemInfo(&system);
  processor.processorCount = static_cast<int>(system.dwNumberOfProcessors);
  WriteLogFormat("論理プロセッサの数 : %d", processor.processorCount);

  AddLogText("ＯＳ  ");
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof(version);
  GetVersionExA(&version);
  char word[32];
  record.osCode = OsCodeOfVersion(version.dwPlatformId, version.dwMajorVersion, version.dwMinorVersion, word,
                                  sizeof(word));
  FormatText(record.osText, sizeof(record.osText), "Windows%s ( Build %d %s )", word,
             static_cast<int>(version.dwBuildNumber), version.szCSDVersion);
  WriteLogFormat("%s", record.osText);

  processor.hasMmx = 0;
  bool cpuId = HasCpuIdInstruction();
  int featureLevel = 0;  // 1 MMX, 2 SSE, 3 SSE2.
  char vendor[13] = {};
  char name[49] = {};
  if (cpuId) {
    int registers[4];
    CpuId(registers, 0);
    std::memcpy(vendor, &registers[1], 4);
    std::memcpy(vendor + 4, &registers[3], 4);
    std::memcpy(vendor + 8, &registers[2], 4);
    CpuId(registers, 1);
    unsigned features = static_cast<unsigned>(registers[3]);
    clocks.hasTimeStampCounter = (features >> 4) & 1;
    if (features & (1u << 23)) {
      featureLevel = 1;
      if (features & (1u << 25)) {
        featureLevel = 2;
        if (features & (1u << 26)) featureLevel = 3;
      }
    }
    CpuId(registers, static_cast<int>(0x80000000u));
    if (static_cast<unsigned>(registers[0]) >= 0x80000004u) {
      for (int leaf = 0; leaf < 3; ++leaf) {
        CpuId(registers, static_cast<int>(0x80000002u + leaf));
        std::memcpy(name + leaf * 16, registers, 16);
      }
    }
  }
  if (clocks.hasTimeStampCounter) {
    // The frequency comes from the time that really passed, not the nominal 100 ms. The wait
    // sleeps rather than spins, and gives up on a clock that stands still.
    int startMs = GetMillisecondCount();
    uint64_t startTicks = ReadTimeStampCounter();
    int elapsed = 0;
    for (int round = 0; round < 1000 && (elapsed = GetMillisecondCount() - startMs) < 100; ++round) Sleep(1);
    uint64_t ticks = ReadTimeStampCounter() - startTicks;
    clocks.timeStampFrequency = elapsed > 0 ? ticks * 1000u / static_cast<uint64_t>(elapsed) : 0;
    processor.processorMHz = static_cast<int>(clocks.timeStampFrequency / 1000000u);
    WriteLogFormat("ＣＰＵ動作速度：大体%.2fGHz", processor.processorMHz / 1000.0);
  }
  if (!cpuId) {
    AddLogText("ＣＰＵＩＤ命令は使えません\n");
  } else if (featureLevel == 0) {
    AddLogText("ＭＭＸは使えません\n");
  } else {
    AddLogText("ＭＭＸ命令を使用します\n");
    processor.hasMmx = 1;
    if (featureLevel >= 2) {
      AddLogText("ＳＳＥ命令が使用可能です\n");
      processor.hasSse = 1;
    }
    if (featureLevel >= 3) {
      AddLogText("ＳＳＥ２命令が使用可能です\n");
      processor.hasSse2 = 1;
    }
  }
  if (cpuId) {
    WriteLogFormat("ＣＰＵベンダ：%.4s%.4s%.4s", vendor, vendor + 4, vendor + 8);
    if (name[0]) {
      WriteLogFormat("ＣＰＵ名：%s", name);
      CopyStringN(processor.processorName, name, sizeof(processor.processorName) - 1);
    }
  }
  PopLogIndent();
  return 0;
}
