// talverine.exe under Wine on the run's X server (Xvfb): the main
// window reads an EPROM from the built-in simulated Kilnbox through the
// menu, and its client area at 600 x 480 has the layout the program draws:
// the panel's frame, the EPROM picture and the two buttons. The pictures
// are X window dumps of the main window alone (a dump of the whole screen
// can show a fresh window black).
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <thread>

#include "tests/wine/wine_fixture.h"

namespace wine {
namespace {

using integration::Child;
using integration::kPatienceMs;
using integration::ReadText;

struct Rgb {
  int r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

const Rgb kWhite{255, 255, 255};
const Rgb kFrameGrey{128, 128, 128};
const Rgb kTraceBlue{26, 0, 231};

struct Picture {
  int width = 0, height = 0;
  std::vector<Rgb> pixels;
  Rgb At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

uint32_t Big32(const std::string& d, size_t at) {
  return (uint32_t{static_cast<uint8_t>(d[at])} << 24) | (uint32_t{static_cast<uint8_t>(d[at + 1])} << 16) |
         (uint32_t{static_cast<uint8_t>(d[at + 2])} << 8) | uint32_t{static_cast<uint8_t>(d[at + 3])};
}

int Channel(uint32_t value, uint32_t mask) {
  int shift = 0;
  while (mask && !((mask >> shift) & 1)) ++shift;
  return mask ? static_cast<int>(((value & mask) >> shift) * 255 / (mask >> shift)) : 0;
}

// An X window dump of a TrueColor window, 24 or 32 bits a pixel.
std::optional<Picture> ReadXwd(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (d.size() < 100 || Big32(d, 4) != 7) return std::nullopt;
  Picture p;
  p.width = static_cast<int>(Big32(d, 16));
  p.height = static_cast<int>(Big32(d, 20));
  const bool littleEndian = Big32(d, 28) == 0;
  const size_t step = Big32(d, 44) / 8, stride = Big32(d, 48);
  const uint32_t red = Big32(d, 56), green = Big32(d, 60), blue = Big32(d, 64);
  const size_t start = Big32(d, 0) + Big32(d, 76) * 12;
  if ((step != 3 && step != 4) || start + stride * p.height > d.size()) return std::nullopt;
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      uint32_t v = 0;
      for (size_t i = 0; i < step; ++i) {
        const uint32_t byte = static_cast<uint8_t>(d[start + y * stride + x * step + i]);
        v |= littleEndian ? byte << (8 * i) : byte << (8 * (step - 1 - i));
      }
      p.pixels.push_back({Channel(v, red), Channel(v, green), Channel(v, blue)});
    }
  }
  return p;
}

// The bitmap the program copies: a 24-bit bottom-up BMP of the Windows build.
Picture ReadBmp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto le32 = [&](size_t at) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) v |= static_cast<uint32_t>(static_cast<uint8_t>(d.at(at + i))) << (8 * i);
    return v;
  };
  Picture p;
  p.width = static_cast<int>(le32(18));
  p.height = static_cast<int>(le32(22));
  const size_t offset = le32(10), stride = (static_cast<size_t>(p.width) * 3 + 3) & ~size_t{3};
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) {
      const size_t at = offset + (p.height - 1 - y) * stride + x * 3;
      p.pixels.push_back({static_cast<uint8_t>(d.at(at + 2)), static_cast<uint8_t>(d.at(at + 1)),
                          static_cast<uint8_t>(d.at(at))});
    }
  return p;
}

class WineGui : public WineTest {
 protected:
  void TearDown() override { program_.reset(); }

  // Runs a tool to its end; its stdout.
  std::string Tool(const std::vector<std::string>& argv, const std::string& name) {
    Child tool(argv, Path(name + ".out"), Path(name + ".err"));
    EXPECT_EQ(tool.WaitFor(kPatienceMs), std::optional<int>(0)) << name << ": " << ReadText(Path(name + ".err"));
    return ReadText(Path(name + ".out"));
  }

  std::string Probe(const std::vector<std::string>& args) {
    const integration::CliResult r = RunWindows("gui_probe.exe", args);
    EXPECT_EQ(r.code, 0) << "gui_probe " << args.front() << ": " << r.err;
    return r.out;
  }

  // The X window of the main window and its position on the screen.
  bool FindXWindow() {
    std::istringstream tree(Tool({"/usr/bin/xwininfo", "-root", "-tree"}, "tree"));
    for (std::string line; std::getline(tree, line);) {
      if (line.find("\"Kilnbox EPROM Utility\"") == std::string::npos) continue;
      std::istringstream(line) >> window_;
      std::istringstream info(Tool({"/usr/bin/xwininfo", "-id", window_}, "info"));
      for (std::string l; std::getline(info, l);) {
        if (l.find("Absolute upper-left X:") != std::string::npos) windowX_ = std::stoi(l.substr(l.find(':') + 1));
        if (l.find("Absolute upper-left Y:") != std::string::npos) windowY_ = std::stoi(l.substr(l.find(':') + 1));
      }
      return true;
    }
    return false;
  }

  // The client area now, cut out of a dump of the window.
  std::optional<Picture> Client(int width = 600, int height = 480) {
    Tool({"/usr/bin/xwd", "-id", window_, "-out", Path("main.xwd")}, "xwd");
    const std::optional<Picture> whole = ReadXwd(Path("main.xwd"));
    if (!whole) return std::nullopt;
    Picture client;
    client.width = width;
    client.height = height;
    for (int y = 0; y < client.height; ++y)
      for (int x = 0; x < client.width; ++x) {
        const int wx = clientX_ - windowX_ + x, wy = clientY_ - windowY_ + y;
        client.pixels.push_back(wx < whole->width && wy < whole->height ? whole->At(wx, wy) : Rgb{});
      }
    return client;
  }

  // Sizes the main window's client area; false when it would not be.
  bool SizeClient(int width, int height) {
    const std::string answer = Probe({"client", "TALVERINE", std::to_string(width), std::to_string(height)});
    std::istringstream client(answer);
    std::string word;
    int w = 0, h = 0;
    client >> word >> clientX_ >> clientY_ >> w >> h;
    return word == "client" && w == width && h == height;
  }

  std::unique_ptr<Child> program_;
  std::string window_;
  int windowX_ = 0, windowY_ = 0, clientX_ = 0, clientY_ = 0;
};

int CountInRows(const Picture& p, Rgb colour, int top, int bottom) {
  int n = 0;
  for (int y = top; y <= bottom; ++y)
    for (int x = 10; x < p.width - 10; ++x) n += p.At(x, y) == colour;
  return n;
}

TEST_F(WineGui, ReadsAnEpromFromTheSimulatorThroughTheMenuAndKeepsTheLayout) {
  setenv("TALVERINE_CONFIG_DIR", Path("config").c_str(), 1);
  program_ = StartWindows("talverine.exe", {"--simulator", "--midi-log", "midi.log"}, "talverine");
  unsetenv("TALVERINE_CONFIG_DIR");

  ASSERT_TRUE(SizeClient(600, 480));
  Probe({"click", "TalverineKilnboxSimulator", "Insert Blank"});
  Probe({"menu", "TALVERINE", "e", "r"});  // EPROM, Read EPROM
  ASSERT_TRUE(FindXWindow()) << ReadText(Path("tree.out"));

  // A blank EPROM reads as 0xFF: the trace runs along the panel's top,
  // where the image the program started with put none.
  std::optional<Picture> shot;
  for (int tries = 0; tries < 600; ++tries) {
    shot = Client();
    if (shot && CountInRows(*shot, kTraceBlue, 4, 14) > 400 && CountInRows(*shot, kTraceBlue, 75, 85) == 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  ASSERT_TRUE(shot) << "no dump of the window";
  EXPECT_GT(CountInRows(*shot, kTraceBlue, 4, 14), 400) << "no trace of the EPROM read; MIDI log:\n"
                                                          << ReadText(Path("midi.log")).substr(0, 2000);
  EXPECT_EQ(CountInRows(*shot, kTraceBlue, 75, 85), 0);

  // The panel's frame from (4, 4) to (596, 156), in grey.
  for (const auto& [x, y] : std::vector<std::pair<int, int>>{{4, 80}, {596, 80}, {300, 4}, {300, 156}})
    EXPECT_EQ(shot->At(x, y), kFrameGrey) << x << "," << y;
  EXPECT_EQ(shot->At(300, 165), kWhite);
  EXPECT_EQ(shot->At(10, 100), kWhite);

  // The EPROM picture at (204, 250), pixel for pixel.
  const Picture eprom = ReadBmp(WindowsProgram("win32-images/eprom.bmp"));
  ASSERT_EQ(eprom.width, 64);
  int differing = 0;
  // Rows 60 and below lie under the label the program writes after it.
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 64; ++x) differing += !(shot->At(204 + x, 250 + y) == eprom.At(x, y));
  EXPECT_EQ(differing, 0);

  // Program at (270, 250) and Verify at (270, 280), 64 x 28 each: their
  // frames lie on those lines, and the client's white just outside.
  const auto isWhite = [&](int x, int y) { return shot->At(x, y) == kWhite; };
  for (const int top : {250, 280}) {
    const int middle = top + 14;
    EXPECT_TRUE(isWhite(269, middle) && !isWhite(270, middle)) << "left edge of the button at y " << top;
    EXPECT_TRUE(!isWhite(333, middle) && isWhite(334, middle)) << "right edge of the button at y " << top;
    EXPECT_TRUE(!isWhite(300, top) && isWhite(300, top + 1)) << "top edge of the button at y " << top;
    EXPECT_TRUE(!isWhite(300, top + 27) && isWhite(300, top + 28)) << "bottom edge of the button at y " << top;
  }
  EXPECT_TRUE(isWhite(300, 249));

  // A click on the panel plays the sound: with no sound device under Wine,
  // silently. Then Options, EPROM Type: the dialog built from its template,
  // showing the settings in use (2764, audio, one EPROM with one sound).
  Probe({"press", "TALVERINE", "300", "80"});
  Probe({"menu", "TALVERINE", "o", "e"});
  std::istringstream controls(Probe({"dialog", "EPROM Options"}));
  std::map<int, std::pair<int, int>> states;  // id: checked, selection
  for (int id, checked, selection; controls >> id >> checked >> selection;) states[id] = {checked, selection};
  EXPECT_EQ(states.size(), 12u);
  EXPECT_EQ(states[11].second, 2) << "EPROM type list";
  EXPECT_EQ(states[13].first, 1) << "One EPROM, One Sound";
  EXPECT_EQ(states[14].first, 0);
  EXPECT_EQ(states[17].first, 1) << "Audio";
  Probe({"cancel", "EPROM Options"});

  // A second start gives way to the running program: it leaves the log
  // file it was given alone.
  const integration::CliResult second = RunWindows("talverine.exe", {"--simulator", "--midi-log", "second.log"});
  EXPECT_EQ(second.code, 0) << second.err;
  EXPECT_FALSE(Exists("second.log"));

  Probe({"close", "TALVERINE"});
  EXPECT_EQ(program_->WaitFor(kPatienceMs), std::optional<int>(0));
}

TEST_F(WineGui, AFileNamedOnTheCommandLineLoadsAsADrop) {
  WriteImage("blank.bin", std::vector<uint8_t>(8192, 0xFF));
  setenv("TALVERINE_CONFIG_DIR", Path("config").c_str(), 1);
  // With ports (the simulator's): without any, the start asks about them first.
  program_ = StartWindows("talverine.exe", {"--simulator", "blank.bin"}, "talverine");
  unsetenv("TALVERINE_CONFIG_DIR");
  ASSERT_TRUE(SizeClient(600, 480));
  ASSERT_TRUE(FindXWindow()) << ReadText(Path("tree.out"));

  // Bytes of 0xFF: the trace runs along the panel's top.
  std::optional<Picture> shot;
  for (int tries = 0; tries < 600; ++tries) {
    shot = Client();
    if (shot && CountInRows(*shot, kTraceBlue, 4, 14) > 400) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  ASSERT_TRUE(shot) << "no dump of the window";
  EXPECT_GT(CountInRows(*shot, kTraceBlue, 4, 14), 400) << "the file was not loaded";

  // A second start ("Open with" while the program runs) hands its file to
  // the running program, which loads it the same way: bytes of 0x80 draw
  // the trace across the middle, away from the top.
  WriteImage("middle.bin", std::vector<uint8_t>(8192, 0x80));
  const integration::CliResult second = RunWindows("talverine.exe", {"middle.bin"});
  EXPECT_EQ(second.code, 0) << second.err;
  for (int tries = 0; tries < 600; ++tries) {
    shot = Client();
    if (shot && CountInRows(*shot, kTraceBlue, 4, 14) < 40) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  ASSERT_TRUE(shot) << "no dump of the window";
  EXPECT_LT(CountInRows(*shot, kTraceBlue, 4, 14), 40) << "the second start's file was not loaded";
  Probe({"close", "TALVERINE"});
  EXPECT_EQ(program_->WaitFor(kPatienceMs), std::optional<int>(0));
}

// The picture's pixel at 96-dpi point (x, y), on a screen of `dpi`.
Rgb AtPoint(const Picture& p, int dpi, int x, int y) { return p.At(x * dpi / 96, y * dpi / 96); }

// Whether the picture's pixel at 96-dpi point (x, y) is not white.
bool InkAt(const Picture& p, int dpi, int x, int y) { return !(AtPoint(p, dpi, x, y) == kWhite); }

// How much of `from`'s ink (in the 96-dpi area w x h) `to` has at the same
// place, in parts of a hundred.
int InkKept(const Picture& from, int fromDpi, const Picture& to, int toDpi, int w, int h) {
  int ink = 0, kept = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (InkAt(from, fromDpi, x, y)) {
        ++ink;
        kept += InkAt(to, toDpi, x, y) || InkAt(to, toDpi, x + 1, y) || InkAt(to, toDpi, x, y + 1);
      }
  return ink ? kept * 100 / ink : 0;
}

// Whether the window and its controls have all been painted: the panel's
// frame at its scaled place, the faces of the Program and Verify buttons (a
// button not yet painted is black) and the status bar's edges between its
// parts. Each paints on its own, so one says nothing of the others.
bool AllDrawn(const Picture& p, int dpi) {
  const Rgb kStatusEdge{174, 174, 174};
  return AtPoint(p, dpi, 4, 80) == kFrameGrey && AtPoint(p, dpi, 241, 223) == kWhite &&
         AtPoint(p, dpi, 241, 253) == kWhite &&
         CountInRows(p, kStatusEdge, p.height - 5, p.height - 5) >= 2;
}

// On a screen of 144 dpi (Wine's LogPixels) the program scales itself: a
// client area half as large again shows the same picture as at 96 dpi,
// frame, trace, EPROM and texts in the same places, not a 96-dpi layout in
// a corner. (The simulator's window, placed beside the main one, may cover
// its right part: the left 260 pixels are compared.)
TEST_F(WineGui, ScalesItselfOnAScreenOf144Dpi) {
  // Wine's screen scale; every process of the prefix, its desktop among
  // them, starts again to take it.
  const auto setScreenDpi = [this](int dpi) {
    const std::string desktop = "HKCU\\Control Panel\\Desktop";
    if (dpi == 96)
      Tool({"/usr/lib/wine/wine64", "reg", "delete", desktop, "/v", "LogPixels", "/f"}, "dpi");
    else
      Tool({"/usr/lib/wine/wine64", "reg", "add", desktop, "/v", "LogPixels", "/t", "REG_DWORD", "/d",
            std::to_string(dpi), "/f"},
           "dpi");
    Tool({"/usr/bin/wineserver", "-k"}, "restart");
    Tool({"/usr/bin/wineserver", "-w"}, "restarted");
  };
  struct Screen {
    int dpi;
    Picture shot;
  };
  std::vector<Screen> screens = {{96, {}}, {144, {}}};
  for (Screen& screen : screens) {
    if (screen.dpi != 96) setScreenDpi(screen.dpi);
    setenv("TALVERINE_CONFIG_DIR", Path("config").c_str(), 1);
    program_ = StartWindows("talverine.exe", {"--simulator"}, "talverine");
    unsetenv("TALVERINE_CONFIG_DIR");
    const int width = 534 * screen.dpi / 96, height = 400 * screen.dpi / 96;
    const bool sized = SizeClient(width, height) && FindXWindow();
    std::optional<Picture> shot;
    for (int tries = 0; sized && tries < 600; ++tries) {
      shot = Client(width, height);
      if (shot && AllDrawn(*shot, screen.dpi)) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    Probe({"close", "TALVERINE"});
    EXPECT_EQ(program_->WaitFor(kPatienceMs), std::optional<int>(0));
    if (screen.dpi != 96) setScreenDpi(96);
    ASSERT_TRUE(sized) << screen.dpi << " dpi";
    ASSERT_TRUE(shot) << screen.dpi << " dpi: no dump of the window";
    screen.shot = *shot;
  }
  EXPECT_GE(InkKept(screens[0].shot, 96, screens[1].shot, 144, 260, 400), 90) << "what 96 dpi shows, 144 dpi has";
  EXPECT_GE(InkKept(screens[1].shot, 144, screens[0].shot, 96, 260, 400), 90) << "what 144 dpi shows, 96 dpi has";
}

}  // namespace
}  // namespace wine
