# make package: cross-builds the tool for 32-bit Windows and puts the package
# directory, ready to copy to Windows or to zip, in dist/package/.
# make package-x64: the same for 64-bit Windows, in dist/package-x64/.
# CMAKE_ARGS passes more cache settings to the configure step.
JOBS ?= $(shell nproc)
CMAKE_ARGS ?=

.PHONY: package package-x64 clean-package
package:
	$(MAKE) --no-print-directory assemble BUILD=$(or $(BUILD),build/win32-release) \
	  TOOLCHAIN=mingw-i686 DIST=dist/package
package-x64:
	$(MAKE) --no-print-directory assemble BUILD=$(or $(BUILD),build/win64-release) \
	  TOOLCHAIN=mingw-x86_64 DIST=dist/package-x64

.PHONY: assemble
assemble:
	cmake -S . -B $(BUILD) -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/$(TOOLCHAIN).cmake \
	  -DCMAKE_BUILD_TYPE=Release $(CMAKE_ARGS)
	cmake --build $(BUILD) --target demo_package -j $(JOBS)
	rm -rf $(DIST)
	mkdir -p $(DIST)
	cp -R $(BUILD)/demo-package/. $(DIST)/
	@echo "package: $(DIST)"

clean-package:
	rm -rf dist/package dist/package-x64
