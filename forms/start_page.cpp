#include "forms/start_page.hpp"

#include "core/out.hpp"

namespace fwk {

void start_page(OutputSink* sink) {
  out_text(sink, "<head><title>Formwick CGI</title></head>\n");
  out_text(sink, "<FORM ACTION=/fwk METHOD=POST ACCEPT-CHARSET=\"UTF-8\">\n");
  out_text(sink,
           "<H3>Start filling out a form</H3><P><label for=D>Please type the name of the "
           "form:</label> <input ID=D name=DATABASE><BR>\n<input type=submit value=\"  Click "
           "here to begin   \"></FORM>");
}

}  // namespace fwk
