// Operations and handlers whose behaviour belongs to the placement, view,
// acceptance, picture-file, element-list and project code. Until that code is
// in, each of them leaves the window's state as it is.

#include "MainUnit/MainUnit.h"

#include "support/U_SYSTOOLS.h"

namespace schauplatz {

void TForm_Schauplatz::LoadElementPicture(const std::string& /*path*/) {}
void TForm_Schauplatz::RenderElement() {}
void TForm_Schauplatz::UpdateTransformation() {}
void TForm_Schauplatz::PlaceElementDefault() {}
void TForm_Schauplatz::SizeWorkspace() {}
void TForm_Schauplatz::RefreshWorkspace() {}
void TForm_Schauplatz::CombineHintergrundAndOverlay() {}

void TForm_Schauplatz::FillElementList(const std::string& folder) {
    PatternFolder = IncludeTrailingPathDelimiter(folder);
}

void TForm_Schauplatz::LoadFacade(const std::string& /*path*/) {}

void TForm_Schauplatz::Projektladen1Click() {}
void TForm_Schauplatz::Projektspeichern1Click() {}
void TForm_Schauplatz::Projektspeichernals1Click() {}
void TForm_Schauplatz::InZwischenablagekopieren1Click() {}
void TForm_Schauplatz::Bildspeichern1Click() {}
void TForm_Schauplatz::FassadeLaden1Click() {}
void TForm_Schauplatz::Muster1Click() {}
void TForm_Schauplatz::NeuesElementpositionieren1Click() {}
void TForm_Schauplatz::Elementbernehmen1Click() {}
void TForm_Schauplatz::Schrittzurck1Click() {}
void TForm_Schauplatz::rspeigeln1Click() {}
void TForm_Schauplatz::kleinerClick() {}
void TForm_Schauplatz::groesserClick() {}
void TForm_Schauplatz::ResetzoomClick() {}
void TForm_Schauplatz::BildvomElementladen1Click() {}
void TForm_Schauplatz::ElementListBox1ItemDblClick(int /*index*/) {}
void TForm_Schauplatz::FormDropFiles(const std::vector<std::string>& /*paths*/) {}

} // namespace schauplatz
