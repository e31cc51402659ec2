#include <iostream>
#include <string>
#include <vector>

#include "platform/posix/CurlUrlServices.h"
#include "platform/posix/PosixFileSystem.h"
#include "signtool/SignCommands.h"

int main(int argc, char** argv) {
  qz::PosixFileSystem files;
  qz::CurlUrlServices urls;
  return qz::SignCommands(files, urls, std::cout, std::cerr)
      .Run(std::vector<std::string>(argv + 1, argv + argc));
}
