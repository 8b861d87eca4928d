#pragma once

// Everything of the layer in one include.
#include "platform/combine/AnyCancellable.hpp"
#include "platform/combine/CancellableSet.hpp"
#include "platform/combine/PassthroughSubject.hpp"
#include "platform/combine/Publisher.hpp"
