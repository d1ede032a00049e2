// Attacks of the campaign; see CMakeLists.txt.
