#include <cstdio>

int main() {
  std::puts("talverine-cli");
  return 0;
}
