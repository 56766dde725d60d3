// talverine-cli driving kilnbox-sim over a pseudo-terminal: whole EPROMs
// read, programmed and verified, at a high speed factor and at the true wire
// rate, and what happens when the simulator dies or its reply is damaged.
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>
#include <sstream>
#include <thread>

#include "tests/integration/integration_fixture.h"

namespace integration {
namespace {

// The bytes of the longest line of a traffic log whose text contains `start`.
size_t LongestLoggedMessage(const std::string& log, const std::string& start) {
  size_t longest = 0;
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    const size_t at = line.find(start);
    if (at == std::string::npos) continue;
    // "F0 10 05 ...": three characters a byte but the last.
    const size_t bytes = (line.size() - (at + start.find("F0")) + 1) / 3;
    longest = std::max(longest, bytes);
  }
  return longest;
}

TEST_F(Integration, A27512ReadAtFiftyTimesTheWireRateComesBackWholeAndBothSidesLogIt) {
  const auto eprom = Pattern(65536, 5);
  WriteImage("eprom.bin", eprom);
  const std::string pty = StartSim({"--speed", "50", "--socket", Path("eprom.bin"), "--midi-log", Path("sim.log")});
  ASSERT_FALSE(pty.empty());

  const CliResult read = Cli({"--midi-log", Path("cli.log"), "read", "--midi-device", pty, "--type", "27512", "-o",
                              Path("read.bin")});
  ASSERT_EQ(read.code, 0) << read.err;
  EXPECT_NE(read.err.find("Received Block 1:  65536 bytes - Read OK."), std::string::npos) << read.err;
  EXPECT_EQ(FileBytes("read.bin"), eprom);
  EXPECT_TRUE(SimShowed("display: Reading 27512 | Block 1"));

  // Each side logs the 131,118-byte reply as one message, with its own
  // direction, and the request that asked for it.
  const std::string cliLog = ReadText(Path("cli.log"));
  EXPECT_NE(cliLog.find(" out F0 10 05 00 00 F7"), std::string::npos);
  EXPECT_EQ(LongestLoggedMessage(cliLog, " in  F0 10 05 01 00"), 131118u);
  sim_->Stop(SIGTERM);
  const std::string simLog = ReadText(Path("sim.log"));
  EXPECT_NE(simLog.find(" in  F0 10 05 00 00 F7"), std::string::npos);
  EXPECT_EQ(LongestLoggedMessage(simLog, " out F0 10 05 01 00"), 131118u);
}

TEST_F(Integration, A27512IsProgrammedSavedAndVerifiedAtFiftyTimesTheWireRate) {
  const auto image = Pattern(65536, 11);
  WriteImage("image.bin", image);
  const std::string pty =
      StartSim({"--speed", "50", "--socket-type", "27512", "--save-socket", Path("socket.bin")});
  ASSERT_FALSE(pty.empty());

  // The block goes over at once, but the program waits out its own estimate
  // of the wire time (about 42 s) before it starts the programming.
  const CliResult program =
      Cli({"program", "--midi-device", pty, "--type", "27512", "--load", Path("image.bin"), "--yes"});
  ASSERT_EQ(program.code, 0) << program.err;
  EXPECT_NE(program.err.find("Was the EPROM programmed OK? yes"), std::string::npos) << program.err;
  // Then it reads the EPROM back and compares every byte.
  EXPECT_NE(program.err.find("Received Block 1:  65536 bytes - Verify OK.\nall 65536 bytes match\n"),
            std::string::npos)
      << program.err;
  EXPECT_EQ(FileBytes("socket.bin"), image);

  const CliResult verify = Cli({"verify", "--midi-device", pty, "--type", "27512", "--load", Path("image.bin")});
  EXPECT_EQ(verify.code, 0) << verify.err;
  EXPECT_NE(verify.err.find("Received Block 1:  65536 bytes - Verify OK."), std::string::npos) << verify.err;

  // Against an image off in two bytes, the first difference is reported,
  // both are counted, and it fails.
  auto other = image;
  other[0x1234] ^= 0x01;
  other[0xFFFF] ^= 0x80;
  WriteImage("other.bin", other);
  const CliResult differs = Cli({"verify", "--midi-device", pty, "--type", "27512", "--load", Path("other.bin")});
  EXPECT_EQ(differs.code, 1);
  char expected[80];
  std::snprintf(expected, sizeof expected, "Verify error at address 0x1234 (0x%02X vs 0x%02X)", image[0x1234],
                other[0x1234]);
  EXPECT_NE(differs.err.find(expected), std::string::npos) << differs.err;
  EXPECT_NE(differs.err.find("\n2 of 65536 bytes differ, from 0x1234 to 0xFFFF\n"), std::string::npos) << differs.err;
}

// program reads the EPROM before it sends anything: what it says and does
// with each EPROM it finds in the socket, and what the socket holds in the
// end (the simulator saves it when it ends, as the host closes the
// terminal). Cells only go from 1 to 0, but for the electrically erasable
// types.
TEST_F(Integration, ProgramFirstChecksThatTheImageCanGoOntoWhatTheEpromHolds) {
  const auto image = Pattern(4096, 1);
  // The image's first half programmed, the second still blank.
  auto half = image;
  std::fill(half.begin() + 2048, half.end(), 0xFF);
  const auto changing = std::count_if(image.begin() + 2048, image.end(), [](uint8_t b) { return b != 0xFF; });
  // Three bytes with a 0 where the image has a 1; the one at 0x0800 blank
  // but for that bit.
  auto worn = half;
  worn[0x0010] = image[0x0010] & (image[0x0010] - 1);
  worn[0x0800] = 0x00;
  worn[0x0FFF] = 0x00;
  ASSERT_NE(image[0x0800], 0x00);
  ASSERT_NE(image[0x0FFF], 0x00);
  // Another sound altogether: most bytes need bits set back.
  std::vector<uint8_t> old(8192);
  for (size_t i = 0; i < old.size(); ++i) old[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
  const std::vector<uint8_t> old4k(old.begin(), old.begin() + 4096);
  std::vector<uint8_t> burnt(4096);
  size_t differing = 0;
  for (size_t i = 0; i < burnt.size(); ++i) {
    burnt[i] = old[i] & image[i];
    differing += burnt[i] != image[i];
  }
  ASSERT_GT(differing, 0u);
  const auto image8k = Pattern(8192, 1);
  size_t rewritten = 0;
  for (size_t i = 0; i < old.size(); ++i) rewritten += old[i] != image8k[i];

  const std::string changeLine = std::to_string(changing) + " of 4096 bytes change, " +
                                 std::to_string(4096 - changing) + " already hold their value\n";
  struct Row {
    const char* what;
    const char* type;
    std::vector<uint8_t> chip;
    std::vector<uint8_t> image;
    std::vector<std::string> args;
    int code;
    std::vector<std::string> said;
    std::vector<std::string> unsaid;
    bool sends;  // the image to the Kilnbox
    std::optional<std::vector<uint8_t>> chipAfter;  // nullopt: not looked at
  };
  const std::vector<Row> rows = {
      {"the image already there", "2732", image, image, {"program", "--yes"}, 0,
       {"Received Block 1:  4096 bytes - Read OK.\nthe EPROM already holds the image\n"},
       {"Transferring", "Programming EPROM"}, false, image},
      // The image's second EPROM, against its own part of the image.
      {"the second of two EPROMs", "2732", image, image,
       {"program", "--yes", "--arrangement", "2", "--eprom", "2", "--load", Path("first.bin")}, 0,
       {"Received Block 2:  4096 bytes - Read OK.\nthe EPROM already holds the image\n"}, {"Transferring"}, false,
       image},
      {"programmed again with --force", "2732", image, image, {"program", "--yes", "--force"}, 0,
       {"the EPROM already holds the image\nprogramming it again (--force)\n", "all 4096 bytes match\n"}, {}, true,
       image},
      {"only bits to clear", "2732", half, image, {"program", "--yes"}, 0,
       {"Read OK.\n" + changeLine, "all 4096 bytes match\n"}, {}, true, image},
      {"bits to set back", "2732", worn, image, {"program", "--yes"}, 1,
       {"talverine-cli: 3 bytes need a bit set back to 1, from 0x0010 to 0x0FFF: erase the EPROM first\n"},
       {"Transferring", "Programming EPROM", "bytes change"}, false, worn},
      // What was done before the check: programmed, and the verify shows
      // the bytes it could not reach.
      {"--no-check", "2732", old4k, image, {"program", "--yes", "--no-check"}, 1,
       {"\n" + std::to_string(differing) + " of 4096 bytes differ, from 0x"}, {"Reading the EPROM first"}, true,
       burnt},
      // Trusting the answer, it says what it was told; the simulator may
      // end before it has programmed.
      {"--no-check --no-verify", "2732", old4k, image, {"program", "--yes", "--no-check", "--no-verify"}, 0, {},
       {"bytes differ", "Reading the EPROM first"}, true, std::nullopt},
      {"blank --read", "2732", old4k, image, {"blank", "--read"}, 1, {" of 4096 bytes are programmed, from 0x"}, {},
       false, old4k},
      {"an electrically erasable type", "2864C", old, image8k, {"program", "--yes"}, 0,
       {std::to_string(rewritten) + " of 8192 bytes change, ", "all 8192 bytes match\n"}, {"need a bit set"}, true,
       image8k},
  };
  WriteImage("first.bin", old4k);
  for (size_t r = 0; r < rows.size(); ++r) {
    const Row& row = rows[r];
    SCOPED_TRACE(row.what);
    const std::string chip = "chip" + std::to_string(r) + ".bin";
    const std::string saved = "saved" + std::to_string(r) + ".bin";
    WriteImage(chip, row.chip);
    WriteImage("image.bin", row.image);
    const std::string pty = StartSim({"--speed", "50", "--socket-type", row.type, "--socket", Path(chip),
                                      "--save-socket", Path(saved), "--exit-on-close"});
    ASSERT_FALSE(pty.empty());
    std::vector<std::string> args = row.args;
    args.insert(args.end(), {"--midi-device", pty, "--type", row.type, "--load", Path("image.bin")});
    const CliResult result = Cli(args);
    EXPECT_EQ(result.code, row.code) << result.err;
    for (const std::string& text : row.said) EXPECT_NE(result.err.find(text), std::string::npos) << result.err;
    for (const std::string& text : row.unsaid) EXPECT_EQ(result.err.find(text), std::string::npos) << result.err;

    // The simulator ends with the host and saves its socket.
    const auto simEnd = sim_->WaitFor(kPatienceMs);
    ASSERT_EQ(simEnd, std::optional<int>(0));
    const std::string display = SimOutput();
    EXPECT_EQ(display.find(" received") != std::string::npos, row.sends) << display;
    if (!row.sends) EXPECT_EQ(display.find("display: Program "), std::string::npos) << display;
    if (row.chipAfter) EXPECT_EQ(FileBytes(saved), *row.chipAfter);
  }
}

TEST_F(Integration, A2732AtTheTrueWireRateIsProgrammedReadAndVerified) {
  const auto image = Pattern(4096, 2);
  WriteImage("image.bin", image);
  const std::string pty = StartSim({"--socket-type", "2732", "--save-socket", Path("socket.bin")});
  ASSERT_FALSE(pty.empty());

  const CliResult program =
      Cli({"program", "--midi-device", pty, "--type", "2732", "--load", Path("image.bin"), "--yes"});
  // Programmed and verified: the simulator wrote the file before it sent
  // the verify's reply.
  ASSERT_EQ(program.code, 0) << program.err;
  EXPECT_EQ(FileBytes("socket.bin"), image);

  const CliResult read = Cli({"read", "--midi-device", pty, "--type", "2732", "-o", Path("read.bin")});
  ASSERT_EQ(read.code, 0) << read.err;
  EXPECT_EQ(FileBytes("read.bin"), image);

  const CliResult verify = Cli({"verify", "--midi-device", pty, "--type", "2732", "--load", Path("image.bin")});
  EXPECT_EQ(verify.code, 0) << verify.err;
}

TEST_F(Integration, SendThenGetBringsTheImageBackFromTheKilnboxMemory) {
  const auto image = Pattern(8192, 7);
  WriteImage("image.bin", image);
  const std::string pty = StartSim({"--speed", "50"});
  ASSERT_FALSE(pty.empty());
  const CliResult send = Cli({"send", "--midi-device", pty, "--load", Path("image.bin")});
  ASSERT_EQ(send.code, 0) << send.err;
  EXPECT_TRUE(SimShowed("Block 1 received"));
  const CliResult get = Cli({"get", "--midi-device", pty, "-o", Path("got.bin")});
  ASSERT_EQ(get.code, 0) << get.err;
  EXPECT_EQ(FileBytes("got.bin"), image);
}

TEST_F(Integration, SimulatorKilledInMidTransferEndsInTheTimeOutWithNothingSaved) {
  WriteImage("eprom.bin", Pattern(4096, 3));
  // The reply of block 1 (the second reply, after the presence check's)
  // stops after 3000 of its 8237 bytes, so it is cut whenever the kill
  // comes.
  const std::string pty =
      StartSim({"--socket", Path("eprom.bin"), "--fault-reply", "2", "--truncate-reply", "3000"});
  ASSERT_FALSE(pty.empty());
  std::unique_ptr<Child> cli = StartCli({"read", "--midi-device", pty, "--type", "2732", "-o", Path("read.bin")});
  ASSERT_TRUE(SimShowed("display: Sending block 1 |"));
  sim_->Stop(SIGKILL);

  const CliResult read = Finish(*cli, kPatienceMs);
  EXPECT_EQ(read.code, 1);
  EXPECT_NE(read.err.find("Kilnbox not responding!"), std::string::npos) << read.err;
  EXPECT_EQ(read.err.find("Read OK"), std::string::npos) << read.err;
  EXPECT_FALSE(Exists("read.bin"));
}

TEST_F(Integration, HostKilledInMidReplyDoesNotKeepTheNextHostWaiting) {
  const auto eprom = Pattern(8192, 6);
  WriteImage("eprom.bin", eprom);
  const std::string pty = StartSim({"--speed", "5", "--socket", Path("eprom.bin")});
  ASSERT_FALSE(pty.empty());
  std::unique_ptr<Child> first = StartCli({"read", "--midi-device", pty});
  ASSERT_TRUE(SimShowed("display: Sending block 1 |"));
  first->Stop(SIGKILL);

  // The simulator drops the rest of that reply and serves the next host,
  // whose presence check waits only for the old reply's wire time.
  const CliResult second = Cli({"read", "--midi-device", pty, "-o", Path("read.bin")});
  ASSERT_EQ(second.code, 0) << second.err;
  EXPECT_EQ(FileBytes("read.bin"), eprom);
}

TEST_F(Integration, CtrlCInMidReplyCancelsTheReadAndSavesNothing) {
  WriteImage("eprom.bin", Pattern(65536, 8));
  const std::string pty = StartSim({"--socket", Path("eprom.bin")});  // a 45-second reply
  ASSERT_FALSE(pty.empty());
  std::unique_ptr<Child> cli =
      StartCli({"read", "--midi-device", pty, "--type", "27512", "-o", Path("read.bin")});
  ASSERT_TRUE(SimShowed("display: Sending block 1 |"));
  kill(cli->Pid(), SIGINT);

  const CliResult read = Finish(*cli, kPatienceMs);
  EXPECT_EQ(read.code, 130) << read.err;
  EXPECT_NE(read.err.find("talverine-cli: interrupted: the operation was cancelled\n"), std::string::npos) << read.err;
  EXPECT_EQ(read.err.find("Read OK"), std::string::npos) << read.err;
  for (const auto& entry : std::filesystem::directory_iterator(temp_.path()))
    EXPECT_NE(entry.path().filename().string().rfind("read.bin", 0), 0u) << entry.path();
}

TEST_F(Integration, CorruptedReplyIsReportedAndNeverStoredAsGood) {
  const auto eprom = Pattern(8192, 9);
  WriteImage("eprom.bin", eprom);
  // Reply 2, the block read after the presence check: one data byte loses
  // its codec mark.
  const std::string pty =
      StartSim({"--speed", "20", "--socket", Path("eprom.bin"), "--fault-reply", "2", "--corrupt-reply", "1001:0x30"});
  ASSERT_FALSE(pty.empty());
  const CliResult damaged = Cli({"read", "--midi-device", pty, "-o", Path("read.bin")});
  EXPECT_EQ(damaged.code, 1);
  EXPECT_NE(damaged.err.find("Received Block 1:  8192 bytes - Error!"), std::string::npos) << damaged.err;
  EXPECT_FALSE(Exists("read.bin"));

  const CliResult verify = Cli({"verify", "--midi-device", pty, "--load", Path("eprom.bin")});
  EXPECT_EQ(verify.code, 0) << "the fault was for one reply only: " << verify.err;
  const CliResult again = Cli({"read", "--midi-device", pty, "-o", Path("read.bin")});
  EXPECT_EQ(again.code, 0) << again.err;
  EXPECT_EQ(FileBytes("read.bin"), eprom);
}

TEST_F(Integration, SilentKilnboxTimesOutAndTheSimulatorWaitsForTheNextHostWithoutSpinning) {
  const std::string pty = StartSim({"--no-reply", "--all-replies"});
  ASSERT_FALSE(pty.empty());
  const CliResult read = Cli({"read", "--midi-device", pty});
  EXPECT_EQ(read.code, 1);
  EXPECT_NE(read.err.find("Kilnbox not responding!"), std::string::npos) << read.err;

  // The host has closed its end: the simulator sleeps until the next one.
  const long before = sim_->CpuTicks();
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  EXPECT_LT(sim_->CpuTicks() - before, 10) << "kilnbox-sim busy while nobody is connected";
  EXPECT_FALSE(sim_->WaitFor(0).has_value());
  const CliResult blank = Cli({"blank", "--midi-device", pty});
  EXPECT_EQ(blank.code, 0) << blank.err;
  EXPECT_TRUE(SimShowed("EPROM blank"));
}

TEST_F(Integration, SimulatorEndsWhenTheHostClosesWithExitOnClose) {
  const std::string pty = StartSim({"--exit-on-close", "--save-socket", Path("socket.bin")});
  ASSERT_FALSE(pty.empty());
  const CliResult blank = Cli({"blank", "--midi-device", pty});
  EXPECT_EQ(blank.code, 0) << blank.err;
  EXPECT_NE(blank.err.find("See Kilnbox display for result"), std::string::npos);
  const auto code = sim_->WaitFor(kPatienceMs);
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 0);
  // Saved at exit: the blank EPROM it held.
  EXPECT_EQ(FileBytes("socket.bin"), std::vector<uint8_t>(8192, 0xFF));
}

}  // namespace
}  // namespace integration
