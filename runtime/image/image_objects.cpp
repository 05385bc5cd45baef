// The image table and the operations on loaded images.
#include "runtime/core/linked_list.h"
#include "runtime/image/image_internal.h"

#include <glib-object.h>

namespace {

ObjectTable* images = nullptr; // the image table, made by image_table_init

} // namespace

ObjectTable* image_table() {
    return images;
}

// Makes the image table (records of ImageRecord size, growth 16, image_free
// as the free procedure) unless it exists.
void image_table_init() {
    table_create_once(&images, static_cast<std::int32_t>(sizeof(ImageRecord)), 16, image_free);
}

// Frees one image (or all for AUTO_NUMBER): drops the record's reference to
// each frame's pixel buffer (widgets holding their own keep the pixels),
// frees the frame list and releases the record. Missing numbers do nothing.
void image_free(ObjectId number) {
    if (images == nullptr) return;
    if (number == AUTO_NUMBER) {
        table_free_all(images);
        return;
    }
    auto* record = static_cast<ImageRecord*>(object_lookup(images, number));
    if (record == nullptr) return;
    if (record->frame_count < 2 || record->frames == nullptr) {
        if (record->pixels != nullptr) g_object_unref(record->pixels);
    } else {
        for (std::int64_t i = 0;; ++i) {
            auto* frame = static_cast<ImageFrame*>(list_select(record->frames, i));
            if (frame == nullptr) break;
            if (frame->pixels != nullptr) g_object_unref(frame->pixels);
        }
    }
    if (record->frames != nullptr) list_free(record->frames);
    object_release(images, number);
}

namespace {

ImageRecord* lookup(ObjectId number) {
    return images == nullptr ? nullptr : static_cast<ImageRecord*>(object_lookup(images, number));
}

} // namespace

GdkPixbuf* image_handle(ObjectId number) {
    ImageRecord* record = lookup(number);
    return record == nullptr ? nullptr : record->pixels;
}

std::int32_t image_width(ObjectId number) {
    ImageRecord* record = lookup(number);
    return record == nullptr ? 0 : record->width;
}

std::int32_t image_height(ObjectId number) {
    ImageRecord* record = lookup(number);
    return record == nullptr ? 0 : record->height;
}

std::int32_t image_depth(ObjectId number, std::int32_t selector) {
    ImageRecord* record = lookup(number);
    if (record == nullptr) return 0;
    return selector == IMAGE_DEPTH_SOURCE ? record->source_depth : record->depth;
}
