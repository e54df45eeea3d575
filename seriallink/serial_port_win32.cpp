#include <windows.h>

#include "seriallink/port_map.h"
#include "seriallink/serial_native_win32.h"

namespace fanbench::seriallink {

namespace {
constexpr DWORD kWriteBoundMs = 3000;
}  // namespace

std::string win32ErrorText(DWORD error) {
    char text[256] = {};
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error, 0, text, sizeof text, nullptr);
    std::string s(text, n);
    while (!s.empty() &&
           (s.back() == '\r' || s.back() == '\n' || s.back() == ' ' || s.back() == '.'))
        s.pop_back();
    return s.empty() ? "error " + std::to_string(error) : s;
}

SerialPort::SerialPort() : native_(std::make_unique<Native>()) {}

SerialPort::~SerialPort() {
    close();
}

bool SerialPort::open(int portNumber, int baudRate, PortSharing sharing) {
    close();
    lastFailure_ = {};
    const std::optional<std::string> path = portDevicePath(portNumber);
    if (!path) {
        lastFailure_.reason = "no such port number";
        return false;
    }
    devicePath_ = *path;
    const DWORD share = sharing == PortSharing::Shared ? FILE_SHARE_READ | FILE_SHARE_WRITE : 0;
    HANDLE h = CreateFileA(path->c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr,
                           OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        lastFailure_ = {*path, win32ErrorText(GetLastError())};
        return false;
    }
    // Refused settings do not fail the open, as with the original line set-up.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (GetCommState(h, &dcb)) {
        dcb.BaudRate = static_cast<DWORD>(baudRate);
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        dcb.fBinary = TRUE;
        dcb.fParity = FALSE;
        SetCommState(h, &dcb);
    }
    // A read waits for the first byte without limit and returns once the line has been
    // quiet for a millisecond. (The {MAXDWORD, MAXDWORD, constant} form, "return as
    // soon as one byte is there", is not honoured for overlapped reads under wine: its
    // reads then wait for a full chunk.)
    COMMTIMEOUTS timeouts{1, 0, 0, 10, 10};
    SetCommTimeouts(h, &timeouts);
    PurgeComm(h, PURGE_RXCLEAR);
    native_->handle = h;
    return true;
}

bool SerialPort::isOpen() const {
    return native_->handle != INVALID_HANDLE_VALUE;
}

void SerialPort::close() {
    if (native_->handle == INVALID_HANDLE_VALUE) return;
    CloseHandle(native_->handle);
    native_->handle = INVALID_HANDLE_VALUE;
}

void SerialPort::write(std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(writeMutex_);
    HANDLE h = native_->handle;
    if (h == INVALID_HANDLE_VALUE) return;
    // Each write has its own completion record, never shared with the reader.
    OVERLAPPED ov{};
    ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (ov.hEvent == nullptr) return;
    const DWORD deadline = GetTickCount() + kWriteBoundMs;
    std::size_t done = 0;
    while (done < bytes.size() && !tickPassed(deadline)) {
        ResetEvent(ov.hEvent);
        DWORD written = 0;
        if (!WriteFile(h, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written,
                       &ov)) {
            if (GetLastError() != ERROR_IO_PENDING) break;
            const DWORD left = deadline - GetTickCount();
            if (WaitForSingleObject(ov.hEvent, static_cast<LONG>(left) > 0 ? left : 0) !=
                WAIT_OBJECT_0) {
                CancelIoEx(h, &ov);
            }
            if (!GetOverlappedResult(h, &ov, &written, TRUE)) break;
        }
        done += written;
    }
    CloseHandle(ov.hEvent);
}

}  // namespace fanbench::seriallink
