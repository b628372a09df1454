#include "smtp/address_list.h"

void CAddressList::Add(const CAddressList &other) {
  m_entries.insert(m_entries.end(), other.m_entries.begin(), other.m_entries.end());
}
