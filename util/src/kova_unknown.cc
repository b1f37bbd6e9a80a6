#include <KovaUnknown.h>

namespace kova {

CKovaUnknownImpl::CKovaUnknownImpl() = default;
CKovaUnknownImpl::~CKovaUnknownImpl() = default;

}  // namespace kova
