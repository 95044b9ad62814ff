#include "link/serial_line.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "platform/perf_timer.h"
#include "platform/worker_thread.h"

namespace dravmer {

bool SetCustomBaud(int fd, int baud);  // serial_speed.cpp

namespace {

// Write time-out of a frame: the line has 100 ms beyond its own pace.
constexpr int kWriteTimeoutMs = 100;

speed_t SpeedConstant(int baud) {
    switch (baud) {
        case 110:
            return B110;
        case 300:
            return B300;
        case 600:
            return B600;
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        default:
            return B0;  // 14400 and 56000 have no termios constant
    }
}

bool IsCustomBaud(int baud) { return baud == 14400 || baud == 56000; }

}  // namespace

int CSerialLine::Open(const std::string& path, const SLineParams& params) {
    Close();
    const speed_t speed = IsCustomBaud(params.baud) ? B38400 : SpeedConstant(params.baud);
    if (speed == B0) return EINVAL;
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno;
    // Exclusive, as a serial port has always been opened by the bench.
    if (::ioctl(fd, TIOCEXCL) != 0 && errno != ENOTTY) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | CMSPAR);
    tio.c_cflag |= CLOCAL | CREAD;
    switch (params.dataBits) {
        case 5:
            tio.c_cflag |= CS5;
            break;
        case 6:
            tio.c_cflag |= CS6;
            break;
        case 7:
            tio.c_cflag |= CS7;
            break;
        default:
            tio.c_cflag |= CS8;
            break;
    }
    if (params.parity != 0) tio.c_cflag |= PARENB;
    if (params.parity == 1 || params.parity == 3) tio.c_cflag |= PARODD;
    if (params.parity >= 3) tio.c_cflag |= CMSPAR;
    if (params.stopBits != 0) tio.c_cflag |= CSTOPB;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &tio) != 0 ||
        (IsCustomBaud(params.baud) && !SetCustomBaud(fd, params.baud))) {
        const int error = errno ? errno : EINVAL;
        ::close(fd);
        return error;
    }
    m_fd = fd;
    m_hungUp = false;
    SetDtr(params.dtr);
    SetRts(params.rts);
    return 0;
}

void CSerialLine::Close() {
    LeaveKernelRs485();  // the next user of the line finds the driver as it was
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

bool CSerialLine::Write(const std::uint8_t* data, int length) {
    if (m_fd < 0) return false;
    CPerfTimer timer;
    int sent = 0;
    while (sent < length) {
        const ssize_t n = ::write(m_fd, data + sent, static_cast<std::size_t>(length - sent));
        if (n > 0) {
            sent += static_cast<int>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            if (errno == EIO || errno == ENXIO || errno == ENODEV) m_hungUp = true;
            return false;
        }
        const int left = kWriteTimeoutMs - static_cast<int>(timer.GetElapsedMs());
        if (left <= 0) return false;
        pollfd out{m_fd, POLLOUT, 0};
        ::poll(&out, 1, left);
    }
    return true;
}

int CSerialLine::Read(std::uint8_t* data, int capacity, int timeoutMs) {
    if (m_fd < 0 || capacity <= 0) return -1;
    pollfd fds[2] = {{m_fd, POLLIN, 0}, {CWorkerThread::CurrentStopFd(), POLLIN, 0}};
    const int count = fds[1].fd >= 0 ? 2 : 1;
    const int ready = ::poll(fds, static_cast<nfds_t>(count), timeoutMs < 0 ? 0 : timeoutMs);
    if (ready < 0) return errno == EINTR ? 0 : -1;
    if (count == 2 && (fds[1].revents & POLLIN)) return -1;
    if (ready == 0 || !(fds[0].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))) return 0;
    const ssize_t n = ::read(m_fd, data, static_cast<std::size_t>(capacity));
    if (n > 0) return static_cast<int>(n);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
    // A hung-up line polls ready for ever and reads 0 or fails: the far side is gone, and taking
    // it for "no reply yet" would spin on the descriptor.
    if (n < 0 || (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL))) {
        m_hungUp = true;
        return -1;
    }
    return 0;
}

void CSerialLine::Purge() {
    if (m_fd < 0) return;
    ::tcflush(m_fd, TCIOFLUSH);
}

bool CSerialLine::ModemBit(int bit, bool on) {
    if (m_fd < 0) return false;
    return ::ioctl(m_fd, on ? TIOCMBIS : TIOCMBIC, &bit) == 0;
}

bool CSerialLine::SetDtr(bool on) { return ModemBit(TIOCM_DTR, on); }
bool CSerialLine::SetRts(bool on) { return ModemBit(TIOCM_RTS, on); }

bool CSerialLine::Carrier() const {
    int bits = 0;
    if (m_fd < 0 || ::ioctl(m_fd, TIOCMGET, &bits) != 0) return false;
    return (bits & TIOCM_CAR) != 0;
}

}  // namespace dravmer

namespace dravmer {

int CSerialLine::OutputQueue() const {
    int queued = 0;
    if (m_fd < 0 || ::ioctl(m_fd, TIOCOUTQ, &queued) != 0) return 0;
    return queued;
}

}  // namespace dravmer
