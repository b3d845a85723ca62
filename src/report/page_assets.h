#pragma once

// The fixed parts of the report page: everything up to <body> (with the
// style sheets), and the script that sorts and filters the result table.
extern const char* const page_head;
extern const char* const page_script;
