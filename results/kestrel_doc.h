#pragma once
// The document of the single-document frame. It holds nothing, and a new
// document is the framework's own; the rows live in the result list.
#include "framework/document.h"

namespace kestrel {

class CKestrelDoc : public CDocument {};

}  // namespace kestrel
