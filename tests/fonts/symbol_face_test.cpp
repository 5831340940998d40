// A symbol face as installed fonts give it: a TrueType font with only a
// (3, 0) cmap and the Symbol code page, made from Liberation Sans with
// fontTools, found by fontconfig through a configuration of the test's own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "support/pdf_builder.h"
#include "support/tools.h"

using vxtest::HaveTool;
using vxtest::Quote;
using vxtest::ReadAll;
using vxtest::RunCommand;

namespace {

const char* MakeSymbolFont = R"(import sys
from fontTools.ttLib import TTFont
from fontTools.ttLib.tables._c_m_a_p import cmap_format_4
f = TTFont(sys.argv[1])
best = f.getBestCmap()
# a b c draw alpha beta chi, as in the Symbol face; the rest is Latin.
m = {0xF000 + c: best[c] for c in range(0x20, 0x7F) if c in best}
for ch, u in (('a', 0x3B1), ('b', 0x3B2), ('c', 0x3C7)):
    m[0xF000 + ord(ch)] = best[u]
sub = cmap_format_4(4)
sub.platformID, sub.platEncID, sub.language, sub.cmap = 3, 0, 0, m
f['cmap'].tables = [sub]
f['OS/2'].ulCodePageRange1 = 1 << 31
f['OS/2'].ulCodePageRange2 = 0
for rec in f['name'].names:
    if rec.nameID in (1, 4, 6, 16):
        rec.string = 'Symbol'
f.save(sys.argv[2])
)";

const char* Liberation = "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";

// Dark pixels of a binary PPM.
size_t Ink(const std::string& Ppm) {
  size_t N = 0, Start = Ppm.size() > 20 ? 20 : Ppm.size();
  for (size_t I = Start; I < Ppm.size(); ++I) N += static_cast<uint8_t>(Ppm[I]) < 128;
  return N;
}

TEST(SymbolFace, DrawsThroughItsBuiltInEncoding) {
  if (!HaveTool("pdftoppm") || !HaveTool("qpdf") ||
      RunCommand("/usr/bin/python3 -c 'import fontTools'") != 0 ||
      !std::ifstream(Liberation).good())
    GTEST_SKIP() << "poppler, qpdf, fontTools or Liberation Sans missing";
  const std::string Dir = vxtest::TempPath("vx_symbol/");
  ASSERT_EQ(RunCommand("rm -rf " + Quote(Dir) + " && mkdir -p " + Quote(Dir + "fonts")), 0);
  std::ofstream(Dir + "make.py") << MakeSymbolFont;
  ASSERT_EQ(RunCommand("/usr/bin/python3 " + Quote(Dir + "make.py") + " " + Quote(Liberation) +
                       " " + Quote(Dir + "fonts/symbol.ttf")),
            0);
  std::ofstream(Dir + "fonts.conf")
      << "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n<fontconfig>\n"
         "<include ignore_missing=\"yes\">/etc/fonts/fonts.conf</include>\n<dir>"
      << Dir << "fonts</dir>\n<cachedir>" << Dir << "cache</cachedir>\n</fontconfig>\n";
  const std::string Env = "FONTCONFIG_FILE=" + Quote(Dir + "fonts.conf") + " ";
  vxtest::PdfBuilder B;
  B.PageTree({3}, "", "/MediaBox [0 0 300 100]");
  B.Object(3, "<< /Type /Page /Parent 2 0 R >>");
  std::ofstream(Dir + "in.pdf", std::ios::binary) << B.FinishTable("/Root 1 0 R");

  for (const char* Embed : {"none", "full"}) {
    SCOPED_TRACE(Embed);
    const std::string Out = Dir + "out.pdf";
    ASSERT_EQ(RunCommand(Env + Quote(VX_CLI_PATH) + " stamp " + Quote(Dir + "in.pdf") + " -o " +
                         Quote(Out) + " --font Symbol --text abc --size 40 --embed " + Embed),
              0);
    // The font as written: no /Encoding, symbolic, not stretched.
    ASSERT_EQ(std::system(("/usr/bin/python3 -c \"import pikepdf,sys\n"
                           "p = pikepdf.open(sys.argv[1])\n"
                           "fs = p.pages[0].Resources.Font\n"
                           "f = fs[list(fs.keys())[0]]\n"
                           "d = f.FontDescriptor\n"
                           "print(f.BaseFont, '/Encoding' in f, int(d.Flags) & 36, "
                           "int(f.Widths[ord('a') - 32]))\" " +
                           Quote(Out) + " > " + Quote(Dir + "font.txt"))
                              .c_str()),
              0);
    // Code a draws alpha, 578 thousandths wide in Liberation Sans.
    EXPECT_EQ(ReadAll(Dir + "font.txt"), "/Symbol False 4 578\n") << ReadAll(Dir + "font.txt");
    ASSERT_EQ(
        RunCommand(Env + "pdftoppm -r 72 -singlefile " + Quote(Out) + " " + Quote(Dir + "out")), 0);
    EXPECT_GT(Ink(ReadAll(Dir + "out.ppm")), 50u);
  }
}

}  // namespace
