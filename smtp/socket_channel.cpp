#include "smtp/socket_channel.h"

#include "smtp/transport_texts.h"

bool CSocketChannel::WriteBytes(const void *data, std::size_t length) {
  if (!m_socket.IsOpen()) {
    Fail(kTextNotConnected);
    return false;
  }
  int error = 0;
  IoStatus status =
      CancelAsked(m_cancel) ? IoStatus::kCancelled
                            : m_socket.Write(data, length, m_writeTimeoutMs, &error);
  switch (status) {
    case IoStatus::kDone:
      m_written += length;
      return true;
    case IoStatus::kTimedOut:
      Fail(kTextWriteTimeout);
      m_socket.Close();
      return false;
    case IoStatus::kCancelled:
      Fail(kTextCallCancelled);
      m_socket.Close();
      return false;
    case IoStatus::kFailed:
      break;
  }
  Fail(FormatText(kTextSendMessage, error));
  return false;
}

void CSocketChannel::SetFailureText(const char *text) {
  if (text != nullptr) Fail(text);
}

void CSocketChannel::Fail(const std::string &text) {
  if (m_failure.empty()) m_failure = text;
}
