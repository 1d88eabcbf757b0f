#include <k814util/pymsglogcache.h>

#include <k814util/binding.h>

#include <gselib/msglogcache.h>

#include <stdexcept>

namespace k814util {

PyMsgLogCache::PyMsgLogCache()
    : cache_(&GseLib::MsgLogCache::getInstance()),
      bindingGeneration_(Binding::instance().generation()) {
    cache_->refresh();
}

unsigned int PyMsgLogCache::size() const {
    return static_cast<unsigned int>(cache_->size());
}

PyMsgLogLine PyMsgLogCache::get(unsigned int index) const {
    if (index >= cache_->size()) {
        throw std::out_of_range("PyMsgLogCache.get was passed an invalid index.");
    }
    return PyMsgLogLine(&cache_->lines()[index]);
}

}  // namespace k814util
