// Duplicates a 16 MiB NOR master into one copy over two simulated kits: the master is read into a
// master image, the copy erased and programmed from it with the read-back check of every piece,
// all through the device API table bound to the kit module's engine in-process. Prints the bus
// stream bytes per programmed byte beside the protocol minimum for the same bus cycles (the
// verification reads are counted on their own), and the time each part took.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "device_api.h"
#include "dup_core.h"
#include "engine.h"
#include "ideal_stream.h"
#include "kitsim/kit.h"
#include "kitsim/nor_chip.h"
#include "lumivex/prompt.h"
#include "sim_host.h"

namespace {

rook::Engine* g_engine = nullptr;

uint64_t Bytes(const char*) { return g_engine->BytesPerDevice(); }
uint32_t BlockSize(const char*, uint32_t k) { return g_engine->NorGetBlockSize(k); }
int Read(int, uint32_t a, uint32_t n, uint8_t* b) { return g_engine->NorReadData(a, n, b); }
int Program(int, uint32_t a, uint32_t n, const uint8_t* d) { return g_engine->NorProgramRawData(a, n, d); }
int Erase(int, uint32_t s) { return g_engine->NorEraseBlock(s); }


struct Side {
  kitsim::Kit kit;
  kitsim::NorChip chip;
  rook::SimHost host;
  rook::Engine engine;
  Side(const kitsim::NorPart& part, const std::string& dir) : chip(part, kit.Clock()), host(kit, dir), engine(host) {
    kit.Attach(0, &chip);
    host.preset = "class=1;type=1;bus=16;interleave=1;cs=1;socket=1;vcc=1800;jedec=0x7E1001;forceFpga=0";
  }
};

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main() {
  char tmpl[] = "/tmp/dupbenchXXXXXX";
  const std::string dir = mkdtemp(tmpl);
  LxPromptTestBegin();
  kitsim::NorPart part = kitsim::DefaultNorPart();
  part.regions = {{256, 65536}};  // 16 MiB
  Side master(part, dir), copy(part, dir);
  const uint32_t kBytes = 16u << 20;
  for (uint32_t i = 0; i < kBytes; ++i) master.chip.Array()[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
  DeviceApiTable.gfslGetNumberOfBytesPerDevice = Bytes;
  DeviceApiTable.gfslNORGetBlockSize = BlockSize;
  DeviceApiTable.gfslNORReadRawData = Read;
  DeviceApiTable.gfslNORProgramRawData = Program;
  DeviceApiTable.gfslNOREraseBlock = Erase;
  lx::prog::Host host;
  lx::prog::RemainingTime time;

  g_engine = &master.engine;
  if (master.engine.Init(0) != 0 || master.engine.BytesPerDevice() != kBytes) {
    std::printf("master open failed\n");
    return 1;
  }
  const std::string image = dir + "/master.img";
  const uint32_t chunk = lx::prog::NorChunkSize(1, lx::prog::ReadNorSectors());
  auto t0 = std::chrono::steady_clock::now();
  if (lx::prog::CreateNorMasterImage(host, time, image, chunk) != "Master image file is created.") {
    std::printf("master image failed\n");
    return 1;
  }
  const double masterSeconds = Seconds(t0);
  master.engine.Init(1);

  g_engine = &copy.engine;
  copy.chip.Array()[0x123456] = 0x00;  // a copy that was used before: erased first
  if (copy.engine.Init(0) != 0) {
    std::printf("copy open failed\n");
    return 1;
  }
  const std::vector<lx::prog::NorSector> sectors = lx::prog::ReadNorSectors();
  t0 = std::chrono::steady_clock::now();
  if (lx::prog::EraseNorDuplicate(host, time, sectors) != "Erase finished.") {
    std::printf("erase failed\n");
    return 1;
  }
  const double eraseSeconds = Seconds(t0);
  auto& pipes = copy.host.bus->Pipes();
  const uint64_t stream0 = pipes.streamBytes, read0 = pipes.readBytes;
  t0 = std::chrono::steady_clock::now();
  lx::prog::Report report = lx::prog::DuplicateNor(host, time, image, sectors, chunk);
  const double duplicateSeconds = Seconds(t0);
  const uint64_t stream = pipes.streamBytes - stream0, verifyRead = pipes.readBytes - read0;
  if (copy.chip.Array() != master.chip.Array() || report.body.find("256 of 256 piece(s) copied and verified") == std::string::npos) {
    std::printf("duplicate differs from the master\n%s\n", report.body.substr(report.body.size() - 200).c_str());
    return 1;
  }

  // The minimum: the same write-buffer programs, each cycle encoded as tightly as the stream allows.
  const uint32_t wbWords = copy.engine.Working().writeBufferBytes / 2;
  const std::vector<uint8_t>& data = master.chip.Array();
  const uint64_t idealBytes = rook_bench::IdealWriteBufferProgram(data.data(), kBytes, wbWords);
  const double perByte = double(stream) / kBytes, minPerByte = double(idealBytes) / kBytes;
  std::printf("duplicate 16 MiB NOR (pieces of %u KiB, write buffer %u bytes): %.3f bus stream bytes per programmed byte; "
              "protocol minimum %.3f; ratio %.2f (goal <= 1.3)\n",
              chunk / 1024, copy.engine.Working().writeBufferBytes, perByte, minPerByte, perByte / minPerByte);
  std::printf("verification reads: %.3f bytes read per programmed byte (1.000 is every byte once)\n",
              double(verifyRead) / kBytes);
  std::printf("host time: master image %.2f s, erase %.2f s, program and verify %.2f s\n", masterSeconds, eraseSeconds,
              duplicateSeconds);
  copy.engine.Init(1);
  std::remove(image.c_str());
  rmdir(dir.c_str());
  return 0;
}
