// install: the desktop launcher. Command-line arguments are ignored.
#include "install/launcher.hpp"

int main() {
  return fwk::launcher_main();
}
