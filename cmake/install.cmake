# Installation and the Debian package (cmake --install, ./krova package).
