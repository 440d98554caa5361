#include "posdll/serial_line.h"

namespace posdll {

namespace {

struct Rate {
    int baud;
    speed_t code;
};

constexpr Rate kRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

std::optional<speed_t> speedCode(int baud) {
    for (const Rate &r : kRates)
        if (r.baud == baud)
            return r.code;
    return std::nullopt;
}

std::optional<int> baudOf(speed_t code) {
    for (const Rate &r : kRates)
        if (r.code == code)
            return r.baud;
    return std::nullopt;
}

constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};

int dataBitsOf(tcflag_t cflag) {
    for (int i = 0; i < 4; ++i)
        if ((cflag & CSIZE) == kSizes[i])
            return 5 + i;
    return 0;
}

const char *parityOf(tcflag_t cflag) {
    if (!(cflag & PARENB))
        return "no parity";
    return (cflag & PARODD) ? "odd parity" : "even parity";
}

} // namespace

std::optional<std::string> lineProblem(const SerialLine &line) {
    if (!speedCode(line.baud))
        return std::to_string(line.baud) +
               " bit/s is not a standard baud rate (as 9600, 19200, 38400, 115200)";
    if (line.dataBits < 5 || line.dataBits > 8)
        return std::to_string(line.dataBits) + " data bits: use 5 to 8";
    if (line.stopBits != 0 && line.stopBits != 2)
        return "stop bits code " + std::to_string(line.stopBits) + ": use 0 (one) or 2 (two)";
    if (line.parity < 0 || line.parity > 2)
        return "parity code " + std::to_string(line.parity) + ": use 0 (none), 1 (odd), 2 (even)";
    return std::nullopt;
}

termios rawLine(termios t, const SerialLine &line) {
    ::cfmakeraw(&t);
    const speed_t speed = *speedCode(line.baud);
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
    t.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS);
    t.c_cflag |= kSizes[line.dataBits - 5] | CLOCAL | CREAD;
    if (line.stopBits == 2)
        t.c_cflag |= CSTOPB;
    if (line.parity != 0)
        t.c_cflag |= PARENB | (line.parity == 1 ? PARODD : 0);
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    return t;
}

std::optional<std::string> lineMismatch(const termios &wanted, const termios &got) {
    if (::cfgetospeed(&got) != ::cfgetospeed(&wanted))
        return std::to_string(baudOf(::cfgetospeed(&wanted)).value_or(0)) + " bit/s";
    if ((got.c_cflag & CSIZE) != (wanted.c_cflag & CSIZE))
        return std::to_string(dataBitsOf(wanted.c_cflag)) + " data bits";
    if ((got.c_cflag & CSTOPB) != (wanted.c_cflag & CSTOPB))
        return (wanted.c_cflag & CSTOPB) ? "two stop bits" : "one stop bit";
    if (std::string(parityOf(got.c_cflag)) != parityOf(wanted.c_cflag))
        return parityOf(wanted.c_cflag);
    return std::nullopt;
}

} // namespace posdll
