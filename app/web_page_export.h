#pragma once
// File > Export Web Page...: the save panel, then the tune as one web page
// (export/web_page.h) under the chosen name (".html" added unless the name
// has it), and a message box that says where it went or why it could not be
// written.

namespace bleeptone {

class Dialogs;
class Document;
class MainWindow;

void exportWebPage(MainWindow& window, Dialogs& dialogs, Document& document);

}  // namespace bleeptone
