// The updater's main program on Windows: the same run as on Linux, over the Win32
// platform layer and the Win32 dialog host. A GUI program: no console window appears.

#include "platform/Env.h"
#include "platform/win32/NamedMutexInstanceGuard.h"
#include "platform/win32/Win32Clock.h"
#include "platform/win32/Win32CommandLine.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32FormHost.h"
#include "platform/win32/Win32MessagePump.h"
#include "platform/win32/Win32Prompts.h"
#include "platform/win32/Win32Terminator.h"
#include "platform/win32/WinHttpUrlServices.h"
#include "platform/win32/WindowsApi.h"
#include "settings/CompiledSettings.h"
#include "startup/RunUpdater.h"

// The command line comes from GetCommandLineW: WinMain's own copy is in the ANSI code page
// already and cannot be told apart from the program's path reliably.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  qz::Win32Terminator terminator;
  try {
    qz::Win32FileSystem files;
    qz::WinHttpUrlServices urls;
    qz::Win32Clock clock;
    qz::Win32MessagePump pump;
    qz::Win32Prompts prompts(pump);
    qz::Win32FormHost forms(pump);
    qz::NamedMutexInstanceGuard instance;
    const qz::UpdaterSettings settings = qz::CompiledSettings::Read();
    qz::Env env{files,
                urls,
                clock,
                prompts,
                forms,
                terminator,
                instance,
                settings.baseUrl,
                settings.publicKeys};
    qz::RunUpdater(env, qz::Win32CommandLine::Current());
  } catch (...) {
    // Only setting up can get here (the run ends the program itself): end quietly.
  }
  terminator.EndProgram();
}
