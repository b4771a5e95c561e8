#include "render/MessagePage.h"

// Filled in by the rendering work; the declarations are the contract the
// message view and the command line use.

namespace vm {

MessagePageWriter::MessagePageWriter(QString folder, QString pageFileName)
    : folder_(std::move(folder)), pageFileName_(std::move(pageFileName))
{
}

MessagePageWriter::~MessagePageWriter() = default;

} // namespace vm
