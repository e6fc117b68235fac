// The resource generator, a build step on the build machine:
//   brenna-resgen <dir> <version> <manifest>
// writes <dir>/BrennaCenter.rc and <dir>/BrennaCenter.ico from the panel
// model; the script names the manifest where it lies.
#include <cstdio>
#include <fstream>
#include <string>

#include "panel/Resource.h"
#include "panel/Templates.h"
#include "winapp/resgen/IconFile.h"
#include "winapp/resgen/ResourceScript.h"

namespace {

bool WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) std::fprintf(stderr, "brenna-resgen: cannot write %s\n", path.c_str());
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: brenna-resgen <output dir> <version> <manifest>\n");
    return 2;
  }
  const std::string dir = argv[1];
  const IconImage* icon = LoadIconResource(IDR_MAINFRAME);
  const std::string ico = icon != nullptr ? IconFileBytes(*icon) : std::string();
  if (ico.empty()) {
    std::fprintf(stderr, "brenna-resgen: icon %d is no 32 x 32 16-colour image\n", IDR_MAINFRAME);
    return 1;
  }
  ResourceFiles files{"BrennaCenter.ico", argv[3], argv[2]};
  return WriteFile(dir + "/BrennaCenter.ico", ico) &&
                 WriteFile(dir + "/BrennaCenter.rc", ResourceScript(files))
             ? 0
             : 1;
}
