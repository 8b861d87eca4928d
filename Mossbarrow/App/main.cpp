#include "Mossbarrow/App/MossbarrowApp.hpp"

int main(int argc, char** argv) {
    mossbarrow::MossbarrowApp app;
    return app.run(argc, argv);
}
