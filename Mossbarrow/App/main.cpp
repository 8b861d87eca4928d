#include "Mossbarrow/App/MossbarrowApp.hpp"
#include "Mossbarrow/ServiceAddresses.hpp"

int main(int argc, char** argv) {
    mossbarrow::reportInvalidServiceAddresses();
    mossbarrow::MossbarrowApp app;
    return app.run(argc, argv);
}
