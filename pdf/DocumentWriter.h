#pragma once

#include <cstdint>

#include "pdf/PreparedPage.h"

namespace folder2pdf {

// What the folder job asks of a document writer, made for the document's
// path at the start of a run: pageOBJ() once per picture, in list order,
// then makePDF() once. The real writer is pdf; tests hand the job a
// recorder instead.
class DocumentWriter {
  public:
    virtual ~DocumentWriter() = default;
    // Appends the prepared picture as the document's next page.
    virtual void pageOBJ(const PreparedPage& page) = 0;
    // Finishes the document and puts it in place. After a failure with
    // ErrorReason::InUse (another program holds the target), the finished
    // document is kept and a further call only tries to put it in place.
    virtual void makePDF() = 0;
    // The document's length in bytes so far.
    virtual std::int64_t size() const { return 0; }
};

}  // namespace folder2pdf
