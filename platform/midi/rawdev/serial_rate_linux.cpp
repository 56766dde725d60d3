// A custom serial line rate through Linux's termios2 (BOTHER). Kept in a
// file of its own: the kernel's termios structures clash with the C
// library's <termios.h>, which the rest of the back end uses.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstdlib>

namespace rawdev {

namespace {

bool Within2Percent(unsigned actual, unsigned wanted) {
  return std::abs(static_cast<long>(actual) - static_cast<long>(wanted)) * 50 <= static_cast<long>(wanted);
}

}  // namespace

bool SetCustomLineRate(int fd, unsigned baud) {
  struct termios2 before;
  if (ioctl(fd, TCGETS2, &before) != 0) return false;
  struct termios2 wanted = before;
  wanted.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
  wanted.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  wanted.c_ispeed = baud;
  wanted.c_ospeed = baud;
  if (ioctl(fd, TCSETS2, &wanted) != 0) return false;
  struct termios2 now;
  if (ioctl(fd, TCGETS2, &now) == 0 && Within2Percent(now.c_ospeed, baud) && Within2Percent(now.c_ispeed, baud))
    return true;
  ioctl(fd, TCSETS2, &before);
  return false;
}

}  // namespace rawdev
