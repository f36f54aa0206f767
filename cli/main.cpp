// veypatcher-cli: the command-line installer.
#include <CLI/CLI.hpp>

#include <iostream>

int main(int argc, char** argv) {
  CLI::App app{"VEYPatcher command-line installer"};
  app.set_version_flag("--version", "veypatcher-cli 0.1.0");
  app.require_subcommand(0, 1);
  CLI11_PARSE(app, argc, argv);
  std::cout << app.help();
  return 0;
}
