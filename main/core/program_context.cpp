#include "program_context.h"

namespace lx {

namespace {
ProgramContext* g_program = nullptr;
}  // namespace

ProgramContext* Program() { return g_program; }

void InstallProgram(ProgramContext* program) { g_program = program; }

bool Confirm(const char* text) { return !g_program || g_program->Confirm(text); }

void StartProgress() {
  if (g_program) g_program->StartProgress();
}

void StopProgress() {
  if (g_program) g_program->StopProgress();
}

std::string UserDataFolder() {
  if (!g_program || g_program->InstallFolder().empty()) return std::string();
  return g_program->UserAreaFolder() + "\\User Data";
}

}  // namespace lx
