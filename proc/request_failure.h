// CRequestFailure: a failure of a call with a text for the client, thrown
// up to the call's one report (message 20001 at line 252); every other
// failure is "Unknown error.".
#ifndef MAILVANE_PROC_REQUEST_FAILURE_H
#define MAILVANE_PROC_REQUEST_FAILURE_H

#include <string>
#include <utility>

class CRequestFailure {
 public:
  explicit CRequestFailure(std::string text) : m_text(std::move(text)) {}
  const std::string &Text() const { return m_text; }

 private:
  std::string m_text;
};

#endif
