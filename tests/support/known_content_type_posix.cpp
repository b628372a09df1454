#include "tests/support/known_content_type.h"

CKnownContentType::CKnownContentType() : m_extension(".txt"), m_type("text/plain") {}
CKnownContentType::~CKnownContentType() = default;
