#include "main/dispatch.h"

int main(int argc, char** argv) {
  lorvane::entry(lorvane::ArgList(argv, static_cast<size_t>(argc)));
}
