#include "HeadlessHost.h"

namespace schauplatz {

void HeadlessHost::showMessage(const std::string& title, const std::string& text) {
    ++m_count;
    m_messages << title << ": " << text << std::endl;
}

} // namespace schauplatz
