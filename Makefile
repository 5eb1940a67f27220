# make package: cross-builds the tool for 32-bit Windows and puts the package
# directory, ready to copy to Windows or to zip, in dist/package/.
BUILD ?= build/win32-release
JOBS ?= $(shell nproc)
DIST := dist/package

.PHONY: package clean-package
package:
	cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-i686.cmake \
	  -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) --target demo_package -j $(JOBS)
	rm -rf $(DIST)
	mkdir -p $(DIST)
	cp -R $(BUILD)/demo-package/. $(DIST)/
	@echo "package: $(DIST)"

clean-package:
	rm -rf $(DIST)
