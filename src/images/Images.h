#pragma once
// Everything the window uses of the captured-images layer.
#include "images/CaptureTime.h"
#include "images/CapturedImage.h"
#include "images/Encoders.h"
#include "images/Geometry.h"
#include "images/ImageStrip.h"
#include "images/OrientationTransform.h"
#include "images/OutputSize.h"
#include "images/RenderFitted.h"
#include "images/SaveBatch.h"
#include "images/SaveFileName.h"
#include "images/SaveImageFile.h"
#include "images/StillCheck.h"
