#include "smtp/address_list.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "charset/threads.h"

namespace {

// Enough for any int in decimal with its sign and the NUL.
constexpr std::size_t kServiceText = 16;

// Keeps each entry that has an address and whose address fits, up to
// kMaxAddresses, in entries reserved for as many: it never allocates.
class CEntryCopy : public CResolvedSink {
 public:
  explicit CEntryCopy(std::vector<CAddressEntry> &entries) : m_entries(entries) {}
  void Take(const CResolvedEntry &found) override {
    if (found.address == nullptr || found.length > kMaxSocketAddress ||
        m_entries.size() >= kMaxAddresses)
      return;
    CAddressEntry entry;
    entry.family = found.family;
    entry.socketType = found.socketType;
    entry.protocol = found.protocol;
    entry.length = found.length;
    std::memcpy(entry.address, found.address, found.length);
    m_entries.push_back(entry);
  }

 private:
  std::vector<CAddressEntry> &m_entries;
};

// One resolution on a thread of its own, shared by the thread and the
// caller: whichever lets go last frees it.
struct CResolution {
  CResolverQuery query;
  std::vector<CAddressEntry> entries;
  int result = 0;
  CSignal done;
};

// The resolution of query into entries, on a thread of its own while
// cancel is asked (see address_list.h).
int ResolveApart(CResolverQuery &query, CCancelProbe &cancel,
                 std::vector<CAddressEntry> &entries) {
  auto resolution = std::make_shared<CResolution>();
  resolution->query = std::move(query);
  resolution->entries.reserve(kMaxAddresses);
  const bool started = StartDetachedThread([resolution] {
    CEntryCopy copy(resolution->entries);
    resolution->result = RunResolver(resolution->query, copy);
    resolution->done.Raise();
  });
  if (!started) {
    CEntryCopy copy(entries);
    return RunResolver(resolution->query, copy);
  }
  while (!resolution->done.Wait(kCancelSliceMs))
    if (cancel.Cancelled()) return ResolverCancelled();
  entries.swap(resolution->entries);
  return resolution->result;
}

}  // namespace

int CAddressList::Resolve(const char *host, int port, int flags, int family, int socketType,
                          int protocol, TextSource source, CCancelProbe *cancel) {
  m_entries.clear();
  char service[kServiceText];
  std::snprintf(service, sizeof service, "%d", port);
  CResolverHints hints;
  hints.flags = flags;
  hints.family = family;
  hints.socketType = socketType;
  hints.protocol = protocol;
  try {
    CResolverQuery query;
    int error = PrepareResolverQuery(host != nullptr ? host : "", source, service, hints, query);
    if (error != 0) return error;
    m_entries.reserve(kMaxAddresses);
    CEntryCopy copy(m_entries);
    if (cancel == nullptr) return RunResolver(query, copy);
    // An address literal is answered at once: no thread for it.
    CResolverQuery literal = query;
    literal.hints.flags |= ResolverNumericHost();
    if (RunResolver(literal, copy) == 0) return 0;
    m_entries.clear();
    return ResolveApart(query, *cancel, m_entries);
  } catch (const std::bad_alloc &) {
    m_entries.clear();
    return ResolverOutOfMemory();
  }
}

void CAddressList::Add(const CAddressList &other) {
  m_entries.insert(m_entries.end(), other.m_entries.begin(), other.m_entries.end());
}

std::string AddressText(const CAddressEntry &entry) {
  std::string host;
  std::string port;
  if (!NumericAddress(entry.address, entry.length, &host, &port))
    return "an address of family " + std::to_string(entry.family);
  return host + " port " + port;
}
